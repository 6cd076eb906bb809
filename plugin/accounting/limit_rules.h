#pragma once

#include <cstdint>

#include "accounting/ledger.h"
#include "api/fstring.h"

namespace cairnward {

// Whether the team may place one more structure of the blueprint. Exempt
// admins first; then a flagged team, a team at "MaxAmount" and a team at the
// blueprint's limit are refused. Changes no count.
bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id);

// Applies a change of the team's count of one blueprint to its total and, for
// a configured blueprint, to its ledger count, and sets or clears the team's
// flag. Counts never go below 0; teams up to 1000 and an empty path change
// nothing.
void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change);

// Whether `count` structures of the entry's blueprint are within the team's
// limit of it, looked up with the entry's key.
bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count, std::int32_t team_id);

// Whether the two teams' combined counts fit the limits of team 1, the
// receiving tribe: its total, every configured blueprint's and every group's.
// Ignores the flags; exempts nobody.
bool AllowMergedStructureCounts(std::int32_t team_id1, std::int32_t team_id2);

// The team's limits: its own under "Teams" where one is given, else the
// limit for everyone. The total limit is 0 when "MaxAmount" is absent.
std::int32_t MaxAmountOf(std::int32_t team_id);
std::int32_t BlueprintLimitOf(Ledger::const_iterator entry, std::u16string_view path,
                              std::int32_t team_id);

}  // namespace cairnward
