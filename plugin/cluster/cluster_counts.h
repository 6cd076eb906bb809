#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "accounting/limit_rules.h"
#include "accounting/team_view.h"
#include "api/fstring.h"
#include "config/cluster_settings.h"

namespace cairnward {

// Cluster mode: while "Cluster" is configured and its Redis can be used,
// checks read the counts of the whole cluster and every change of this
// server's counts is applied to its contribution too. Each of these answers
// "none" (or does nothing) when the cluster is not configured or its link is
// down: the caller then decides by this server's counts alone.

// Makes the link for the settings (none: no cluster) and publishes nothing
// yet; the next recount does. StopCluster stops its thread and closes it.
void StartCluster(const std::optional<ClusterSettings>& settings);
void StopCluster();

struct ClusterVerdict {
  bool allowed = false;
  // Allowed: the cluster's counts at the fields the placement counts at,
  // with it counted (a near-limit warning reads no others; the rest are 0).
  // Refused: the team's cluster counts, which the refusal reads.
  TeamView after;
};

// The final placement of a structure of the path by the team, judged and,
// when allowed, counted in one atomic step in Redis. A placement by an
// administrator whom "IgnoreAdmin" exempts is counted without a check. Teams
// that are not counted get none.
std::optional<ClusterVerdict> ClusterPlace(const FString& path, const PathFacts& facts,
                                           std::int32_t team, std::uint64_t steam_id);

// A change of the team's count of the path (a removal) in the contribution
// and the aggregate.
void ClusterCountChange(const FString& path, std::int32_t team, std::int32_t change);

// A join: team `from`'s counts move to team `to` in every server's
// contribution and in the aggregate ("to" up to 1000: they are dropped).
void ClusterMove(std::int32_t from, std::int32_t to);

// A join of team `from` into `to`, judged by the cluster's counts against
// `to`'s limits and, when allowed, moved in every server's contribution and
// the aggregate in the same step in Redis, before the game is asked: two
// joins into one tribe on two grids cannot both pass. None when the cluster
// cannot judge it (the caller judges by this server's counts).
struct ClusterJoinVerdict {
  bool allowed = false;
  // The position in the team's view of the limit that refused, when one did.
  std::optional<std::uint32_t> refused_at;
  std::vector<std::string> moved;  // for ClusterUnjoin
};
std::optional<ClusterJoinVerdict> ClusterJoin(std::int32_t from, std::int32_t to);
// The game refused an allowed join: what it moved moves back.
void ClusterUnjoin(std::int32_t from, std::int32_t to, const std::vector<std::string>& moved);

// The team's cluster counts.
std::optional<TeamView> ClusterTeamView(std::int32_t team);

// The cluster counts of each team, read in one pipelined batch: entry i is
// teams[i]'s, or none for a team judged by this server's counts (Redis held
// a value for it that is not a count). None when the cluster cannot be asked
// now, or not within what the budget has left.
std::optional<std::vector<std::optional<TeamView>>> ClusterTeamViews(
    std::span<const std::int32_t> teams);

// Replaces this server's whole contribution with its counts as they are, in
// pieces, adjusting the aggregate by the difference. After every recount,
// and whenever the link comes back. The pieces are sent on a thread of the
// cluster's own; the game thread waits for a small contribution (a few
// hundred teams) with half its hook's time, and goes on at once from a
// larger one. Teams whose counts change while they are sent are sent again
// after them.
void PublishContribution();

// While one is alive, every wait of the game thread on Redis — the calls
// and the wait for a publication — shares one deadline, "TimeoutMs" after
// it opened: a hook waits at most that long in all. The seam opens one per
// hook call; one opened inside another shares the outer's.
class ClusterBudget {
 public:
  ClusterBudget();
  ~ClusterBudget();
  ClusterBudget(const ClusterBudget&) = delete;
  ClusterBudget& operator=(const ClusterBudget&) = delete;

 private:
  bool opened_ = false;
};

// Whether this load made a link to a cluster: "Cluster" was configured at
// load, whatever the link's state.
bool ClusterConfigured();

// For tests and the development server: whether the link is up now,
// whether a publication is still being sent, and the longest the game
// thread has waited on Redis in one reply or one budget.
bool ClusterUp();
bool ClusterPublishing();
std::chrono::nanoseconds ClusterLongestWait();

}  // namespace cairnward
