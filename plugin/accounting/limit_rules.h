#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "accounting/ledger.h"
#include "accounting/refusal.h"
#include "accounting/team_view.h"
#include "api/fstring.h"
#include "config/debug_trace.h"

namespace cairnward {

// What the checks of one path look up: its ledger entry and the groups it
// belongs to, found with one hash of the path. The build check uses it three
// times per placement.
struct PathFacts {
  Ledger::iterator entry;                 // or the ledger's end()
  std::span<const std::uint32_t> groups;  // of the counted groups
};
PathFacts FactsOfPath(std::u16string_view path);

// Whether the team may place one more structure of the blueprint. Exempt
// players first; then a flagged team, a team at "MaxAmount", a team at the
// limit of a group of the blueprint and a team at the blueprint's limit are
// refused. Changes no count.
bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id);
bool StructureAllowed(const FString& path, const PathFacts& facts, std::int32_t team_id,
                      std::uint64_t steam_id);

// The same, saying which limit refuses: none when the placement may go
// ahead. Allocates nothing either way.
std::optional<Refusal> RefusingLimit(const FString& path, const PathFacts& facts,
                                     std::int32_t team_id, std::uint64_t steam_id);

// Which limit refused a placement that a check of `counts` (the cluster's)
// refused: the first of the placement's limits in the order of
// RefusingLimit that the team has reached, else the first it is above, else
// the total.
Refusal RefusalInView(const TeamView& counts, const PathFacts& facts, std::int32_t team_id);

// Applies a change of the team's count of one blueprint to its total, its
// groups' counts and, for a configured blueprint, to its ledger count, and to
// whether the team is above each of those limits. Counts never go below 0;
// teams up to 1000 and an empty path change nothing.
void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change);
void UpdateStructureCount(const FString& path, const PathFacts& facts, std::int32_t team_id,
                          std::int32_t change);

// UpdateStructureCount in two steps, for a caller that makes several changes
// that must all happen or none: PrepareCountChange reads everything that can
// fail (the limits in the configuration) and changes nothing;
// ApplyCountChange then only writes counts and trace lines.
struct CountChange {
  const FString* path = nullptr;
  std::int32_t team_id = 0;
  std::int32_t change = 0;
  bool counted = false;         // a path and a team that are counted at all
  Ledger::iterator entry;       // the blueprint's ledger entry, or end()
  std::int32_t limit = 0;       // of the entry as the path reads it, when the new count is stored
  std::int32_t max_amount = 0;  // for the trace of an unconfigured blueprint
  std::span<const std::uint32_t> groups;  // the path's counted groups
};
CountChange PrepareCountChange(const TraceLines& trace, const FString& path, std::int32_t team_id,
                               std::int32_t change);
CountChange PrepareCountChange(const TraceLines& trace, const FString& path, const PathFacts& facts,
                               std::int32_t team_id, std::int32_t change);
void ApplyCountChange(const TraceLines& trace, const CountChange& change);

// Whether `count` structures of the entry's blueprint are within the team's
// limit of it, looked up with the entry's key.
bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count, std::int32_t team_id);

// Whether the two teams' combined local counts fit the limits of the
// receiving tribe: its total, every configured blueprint's and every group's.
// Ignores the flags; exempts nobody.
bool AllowMergedStructureCounts(std::int32_t receiver, std::int32_t joiner);

// The same for two teams' counts as given: local counts or the aggregate.
bool MergedWithinLimits(std::int32_t receiver, const TeamView& receiving, const TeamView& joining);

// Whether the player is exempt: an administrator, while "IgnoreAdmin" says
// administrators are limited by nothing.
bool Exempt(std::uint64_t steam_id);

// The team's limits: its team limit under "Teams" where one is given, else
// everyone's limit. The total limit is 0 when "MaxAmount" is absent.
std::int32_t MaxAmountOf(std::int32_t team_id);
std::int32_t MaxAmountForEveryone();
std::int32_t BlueprintLimitOf(Ledger::const_iterator entry, std::u16string_view path,
                              std::int32_t team_id);

}  // namespace cairnward
