#include "accounting/group_counts.h"

#include "config/config.h"

namespace cairnward {

GroupTally* CountedGroups() {
  GroupTally& tally = GroupCounts();
  return tally.plan != nullptr && tally.plan == LimitsInForce() && !tally.counts.empty() ? &tally
                                                                                         : nullptr;
}

std::int32_t GroupCount(const GroupTally& tally, std::size_t group, std::int32_t team) {
  return CountIn(tally.counts[group], team);
}

void UpdateGroupCounts(std::span<const std::uint32_t> groups, std::int32_t team,
                       std::int32_t change) {
  GroupTally* tally = CountedGroups();
  if (tally == nullptr) {
    return;
  }
  for (const std::uint32_t group : groups) {
    const std::int32_t count = Plus(GroupCount(*tally, group, team), change);
    if (count < 0) {
      continue;
    }
    tally->counts[group][team] = count;
    tally->above[group].Set(team, AboveLimit(count, tally->plan->GroupLimitOf(group, team)),
                            TeamLimitExceeded());
  }
}

void MoveGroupCounts(std::int32_t from, std::int32_t to) {
  GroupTally* tally = CountedGroups();
  if (tally == nullptr) {
    return;
  }
  for (std::size_t group = 0; group < tally->counts.size(); ++group) {
    TeamCounts& counts = tally->counts[group];
    const std::int32_t moved = GroupCount(*tally, group, from);
    counts.erase(from);
    tally->above[group].Set(from, false, TeamLimitExceeded());
    if (moved == 0 || to <= kHighestUncountedTeam) {
      continue;
    }
    const std::int32_t count = Plus(counts[to], moved);
    counts[to] = count;
    tally->above[group].Set(to, AboveLimit(count, tally->plan->GroupLimitOf(group, to)),
                            TeamLimitExceeded());
  }
}

std::optional<std::uint32_t> GroupAtLimit(std::span<const std::uint32_t> groups,
                                          std::int32_t team) {
  const GroupTally* tally = CountedGroups();
  if (tally == nullptr) {
    return std::nullopt;
  }
  for (const std::uint32_t group : groups) {
    if (GroupCount(*tally, group, team) >= tally->plan->GroupLimitOf(group, team)) {
      return group;
    }
  }
  return std::nullopt;
}

}  // namespace cairnward
