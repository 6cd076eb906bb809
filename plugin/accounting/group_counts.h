#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "accounting/ledger.h"

namespace cairnward {

// The group counts, when the last recount counted the groups of the
// configuration in force; null otherwise (no recount yet), and then no group
// limits anything.
GroupTally* CountedGroups();

// The team's count in a group; 0 when it has none.
std::int32_t GroupCount(const GroupTally& tally, std::size_t group, std::int32_t team);

// Adds the change to the team's count of each of the counted groups; a count
// never goes below 0, and the team is marked above a group's limit exactly
// while its count is.
void UpdateGroupCounts(std::span<const std::uint32_t> groups, std::int32_t team,
                       std::int32_t change);

// Moves what remains of team `from`'s group counts to team `to`.
void MoveGroupCounts(std::int32_t from, std::int32_t to);

// The first of the counted groups whose limit the team has reached; none
// when it may place one more of a blueprint in them all.
std::optional<std::uint32_t> GroupAtLimit(std::span<const std::uint32_t> groups, std::int32_t team);

}  // namespace cairnward
