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

// Whether `count` structures of the entry's blueprint are within its limit,
// looked up with the entry's key.
bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count);

// Whether the two teams' combined counts fit "MaxAmount" and every
// configured blueprint's limit. Ignores the flags; exempts nobody.
bool AllowMergedStructureCounts(std::int32_t team_id1, std::int32_t team_id2);

}  // namespace cairnward
