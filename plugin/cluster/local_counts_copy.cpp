#include "cluster/local_counts_copy.h"

#include <algorithm>
#include <utility>

#include "accounting/group_counts.h"
#include "accounting/team_view.h"

namespace cairnward {
namespace {

// Calls `add(map, position)` for each map in position order: the total,
// the ledger entries, the groups.
template <typename Add>
void EachMap(const TeamCounts& totals, const std::vector<TeamCounts>& blueprints,
             const std::vector<TeamCounts>& groups, Add&& add) {
  add(totals, std::size_t{0});
  for (std::size_t entry = 0; entry < blueprints.size(); ++entry) {
    add(blueprints[entry], BlueprintPosition(entry));
  }
  const std::size_t first_group = 1 + blueprints.size();
  for (std::size_t group = 0; group < groups.size(); ++group) {
    add(groups[group], first_group + group);
  }
}

}  // namespace

LocalCountsCopy LocalCountsCopy::Take() {
  std::vector<TeamCounts> blueprints;
  const Ledger& ledger = StructureLedger();
  blueprints.reserve(ledger.size());
  for (const auto& [path, counts] : ledger) {
    blueprints.push_back(counts);
  }
  const GroupTally* tally = CountedGroups();
  return LocalCountsCopy(TeamCounts(TeamTotals()), std::move(blueprints),
                         tally != nullptr ? tally->counts : std::vector<TeamCounts>());
}

LocalCountsCopy LocalCountsCopy::OfTeams(const ContributionsByTeam& by_team,
                                         std::size_t positions) {
  TeamCounts totals;
  std::vector<TeamCounts> blueprints(positions > 0 ? positions - 1 : 0);
  for (const auto& [team, pairs] : by_team) {
    for (const auto& [position, count] : pairs) {
      (position == 0 ? totals : blueprints[position - 1])[team] = count;
    }
  }
  return LocalCountsCopy(std::move(totals), std::move(blueprints), {});
}

ContributionsByTeam LocalCountsCopy::ByTeam() const {
  ContributionsByTeam by_team;
  // Room for every team at once: grown as it fills, a map filled in the
  // order of another of the same hash meets long runs of taken slots.
  by_team.reserve(totals_.size());
  // Room for a typical team's fields at once: growing tens of thousands of
  // small vectors one doubling at a time costs more than the counting.
  const std::size_t typical = std::min<std::size_t>(1 + blueprints_.size() + groups_.size(), 32);
  EachMap(totals_, blueprints_, groups_, [&](const TeamCounts& counts, std::size_t position) {
    for (const auto& [team, count] : counts) {
      if (count > 0 && team > kHighestUncountedTeam) {
        TeamCountPairs& pairs = by_team[team];
        if (pairs.capacity() == 0) {
          pairs.reserve(typical);
        }
        pairs.emplace_back(static_cast<std::uint32_t>(position), count);
      }
    }
  });
  return by_team;
}

TeamCountPairs LocalCountsCopy::PairsOf(std::int32_t team) const {
  TeamCountPairs pairs;
  if (team <= kHighestUncountedTeam) {
    return pairs;
  }
  EachMap(totals_, blueprints_, groups_, [&](const TeamCounts& counts, std::size_t position) {
    if (const auto found = counts.find(team); found != counts.end() && found->second > 0) {
      pairs.emplace_back(static_cast<std::uint32_t>(position), found->second);
    }
  });
  return pairs;
}

}  // namespace cairnward
