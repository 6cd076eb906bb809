#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "accounting/ledger.h"
#include "cluster/script_calls.h"

namespace cairnward {

// This server's counts as the ledger holds them, copied map by map: the game
// thread copies arrays, and the publisher's thread turns them into counts by
// team, so that a recount's publication costs the game thread one copy and no
// lookup per count.
class LocalCountsCopy {
 public:
  LocalCountsCopy() = default;
  // The local counts as they stand now.
  static LocalCountsCopy Take();
  // Counts already by team, in position order: a load generator's, which
  // has no ledger to take them from.
  static LocalCountsCopy OfTeams(const ContributionsByTeam& by_team, std::size_t positions);

  // How many teams it holds a total for.
  [[nodiscard]] std::size_t Teams() const { return totals_.size(); }
  // Its counts above 0 by team, for the teams above 1000.
  [[nodiscard]] ContributionsByTeam ByTeam() const;
  // One team's counts above 0, in position order.
  [[nodiscard]] TeamCountPairs PairsOf(std::int32_t team) const;

 private:
  LocalCountsCopy(TeamCounts totals, std::vector<TeamCounts> blueprints,
                  std::vector<TeamCounts> groups)
      : totals_(std::move(totals)),
        blueprints_(std::move(blueprints)),
        groups_(std::move(groups)) {}

  TeamCounts totals_;
  std::vector<TeamCounts> blueprints_;  // by ledger entry
  std::vector<TeamCounts> groups_;      // by group; none while groups are not counted
};

}  // namespace cairnward
