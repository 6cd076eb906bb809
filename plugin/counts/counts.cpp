#include "counts/counts.h"

#include <optional>
#include <utility>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "accounting/teams_over.h"
#include "cluster/cluster_counts.h"
#include "cluster/cluster_status.h"

namespace cairnward {
namespace {

// An allowed placement is counted here, whoever judged it; the view is the
// cluster's when the cluster judged, else this server's after the count.
PlacementVerdict CountAllowed(const FString& path, const PathFacts& facts, std::int32_t team,
                              std::optional<TeamView> cluster_view) {
  DebugTrace("| APrimalStructure_IsAllowedToBuild: [LimitCheck]: Building allowed!");
  UpdateStructureCount(path, facts, team, +1);
  return {true, cluster_view ? std::move(*cluster_view) : LocalTeamView(team), std::nullopt};
}

}  // namespace

PlacementVerdict JudgePlacement(const FString& path, const PathFacts& facts, std::int32_t team,
                                std::uint64_t steam_id) {
  const ClusterBudget budget;
  // While this server's counts are being published, Redis may lack them
  // (it was emptied, or they wait their turn): what they refuse on their own
  // is refused without asking it. Otherwise the cluster's counts hold them.
  if (ClusterPublishing()) {
    if (auto refusal = RefusingLimit(path, facts, team, steam_id)) {
      return {false, {}, refusal};
    }
  }
  if (auto verdict = ClusterPlace(path, facts, team, steam_id)) {
    if (!verdict->allowed) {
      return {false, {}, RefusalInView(verdict->after, facts, team)};
    }
    return CountAllowed(path, facts, team, std::move(verdict->after));
  }
  if (auto refusal = RefusingLimit(path, facts, team, steam_id)) {
    return {false, {}, refusal};
  }
  return CountAllowed(path, facts, team, std::nullopt);
}

void CountRemoval(const FString& path, std::int32_t team) {
  if (team <= kHighestUncountedTeam) {
    return;
  }
  const ClusterBudget budget;
  UpdateStructureCount(path, team, -1);
  ClusterCountChange(path, team, -1);
}

namespace {

// This server's counts of `from` move to `to`; whether it had any.
bool MoveHere(std::int32_t from, std::int32_t to, const MoveTrace& per_entry) {
  if (TeamTotals()[from] <= 0) {
    return false;
  }
  MoveTeamCounts(from, to, per_entry);
  return true;
}

}  // namespace

JoinOutcome JoinTeams(std::int32_t to, std::int32_t from, const std::function<bool()>& ask_game,
                      const MoveTrace& per_entry) {
  const ClusterBudget budget;
  // In cluster mode judged and moved on every grid in one step before the
  // game is asked, so that two joins into one tribe cannot both pass; what
  // moved moves back when the game refuses. While this server's counts are
  // being published, a merge they refuse on their own is refused first.
  if (ClusterPublishing() && !AllowMergedStructureCounts(to, from)) {
    return JoinOutcome::kRefusedByLimits;
  }
  if (const auto cluster = ClusterJoin(from, to)) {
    if (!cluster->allowed) {
      return JoinOutcome::kRefusedByLimits;
    }
    if (!ask_game()) {
      ClusterUnjoin(from, to, cluster->moved);
      return JoinOutcome::kRefusedByGame;
    }
    return MoveHere(from, to, per_entry) ? JoinOutcome::kMoved : JoinOutcome::kNothingHere;
  }
  if (!AllowMergedStructureCounts(to, from)) {
    return JoinOutcome::kRefusedByLimits;
  }
  if (!ask_game()) {
    return JoinOutcome::kRefusedByGame;
  }
  return MoveTeam(from, to, per_entry) ? JoinOutcome::kMoved : JoinOutcome::kNothingHere;
}

bool MoveTeam(std::int32_t from, std::int32_t to, const MoveTrace& per_entry) {
  const ClusterBudget budget;
  // Membership is cluster-wide: every server's counts of the team move,
  // whether or not this server has any.
  ClusterMove(from, to);
  return MoveHere(from, to, per_entry);
}

CountsStanding TeamStanding(std::int32_t team) {
  const ClusterBudget budget;
  CountsStanding standing;
  standing.here = LocalTeamView(team);
  if (!ClusterConfigured()) {
    standing.counts = standing.here;
  } else if (auto cluster = ClusterTeamView(team)) {
    standing.counts = std::move(*cluster);
    standing.scope = CountsScope::kCluster;
  } else {
    standing.counts = standing.here;
    standing.scope = CountsScope::kThisServerOnly;
  }
  return standing;
}

TeamsOverStanding TeamsOver() {
  const ClusterBudget budget;
  if (!ClusterConfigured()) {
    return {TeamsOverLimits(), CountsScope::kThisServer};
  }
  const std::vector<std::int32_t> teams = TeamsCountedHere();
  auto cluster = ClusterTeamViews(teams);
  if (!cluster) {
    return {TeamsOverLimits(), CountsScope::kThisServerOnly};
  }
  std::vector<TeamView> views;
  views.reserve(teams.size());
  for (std::size_t i = 0; i < teams.size(); ++i) {
    views.push_back((*cluster)[i] ? std::move(*(*cluster)[i]) : LocalTeamView(teams[i]));
  }
  return {TeamsOverLimits(teams, views), CountsScope::kCluster};
}

std::vector<std::string> CountsStatusLines() {
  return ClusterStatusLines();
}

void Recount() {
  UpdateStructureCountAll();
  // The recount itself is no wait on Redis.
  const ClusterBudget budget;
  PublishContribution();
}

}  // namespace cairnward
