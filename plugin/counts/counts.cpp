#include "counts/counts.h"

#include <optional>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "cluster/cluster_counts.h"

namespace cairnward {
namespace {

// Both teams' cluster counts, or none when either cannot be had.
std::optional<std::pair<TeamView, TeamView>> ClusterViews(std::int32_t a, std::int32_t b) {
  if (auto first = ClusterTeamView(a)) {
    if (auto second = ClusterTeamView(b)) {
      return std::make_pair(std::move(*first), std::move(*second));
    }
  }
  return std::nullopt;
}

bool MergeAllowed(std::int32_t receiver, std::int32_t other) {
  if (const auto views = ClusterViews(receiver, other)) {
    return MergedWithinLimits(receiver, views->first, views->second);
  }
  return AllowMergedStructureCounts(receiver, other);
}

void TraceAllowed() {
  DebugTrace("| APrimalStructure_IsAllowedToBuild: [LimitCheck]: Building allowed!");
}

}  // namespace

PlacementVerdict JudgePlacement(const FString& path, const PathFacts& facts, std::int32_t team,
                                std::uint64_t steam_id) {
  const ClusterBudget budget;
  if (auto verdict = ClusterPlace(path, facts, team, steam_id)) {
    if (verdict->allowed) {
      TraceAllowed();
      UpdateStructureCount(path, facts, team, +1);
    }
    return {verdict->allowed, std::move(verdict->after)};
  }
  if (!StructureAllowed(path, facts, team, steam_id)) {
    return {};
  }
  TraceAllowed();
  UpdateStructureCount(path, facts, team, +1);
  return {true, LocalTeamView(team)};
}

void CountRemoval(const FString& path, std::int32_t team) {
  if (team <= kHighestUncountedTeam) {
    return;
  }
  const ClusterBudget budget;
  UpdateStructureCount(path, team, -1);
  ClusterCountChange(path, team, -1);
}

JoinOutcome JoinTeams(std::int32_t to, std::int32_t from, const std::function<bool()>& ask_game,
                      const MoveTrace& per_entry) {
  const ClusterBudget budget;
  if (!MergeAllowed(to, from)) {
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
  if (TeamTotals()[from] <= 0) {
    return false;
  }
  MoveTeamCounts(from, to, per_entry);
  return true;
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

void Recount() {
  UpdateStructureCountAll();
  // The recount itself is no wait on Redis.
  const ClusterBudget budget;
  PublishContribution();
}

}  // namespace cairnward
