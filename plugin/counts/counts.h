#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "accounting/limit_rules.h"
#include "accounting/refusal.h"
#include "accounting/team_move.h"
#include "accounting/team_view.h"
#include "accounting/teams_over.h"
#include "api/fstring.h"

namespace cairnward {

// The one place that decides whose counts a check reads: the whole
// cluster's while "Cluster" is configured and its Redis can be asked, else
// this server's. This server's counts take every change either way: they
// are its contribution to the cluster. Hooks and messages ask only here.

// Whose counts a standing holds.
enum class CountsScope {
  kThisServer,      // no cluster is configured
  kCluster,         // every grid's, from the cluster's Redis
  kThisServerOnly,  // a cluster is configured but cannot be asked now
};

struct PlacementVerdict {
  bool allowed = false;
  // The team's counts with the placement counted when allowed, in the
  // scope it was judged in: what a near-limit warning reads. From the
  // cluster, only the fields the placement counts at (the others read 0).
  TeamView after;
  // When refused, the limit that refused it.
  std::optional<Refusal> refusal;
};

// Judges the final placement of a structure of the path by the team and
// counts it when allowed. A placement by an administrator whom
// "IgnoreAdmin" exempts is counted without a check.
PlacementVerdict JudgePlacement(const FString& path, const PathFacts& facts, std::int32_t team,
                                std::uint64_t steam_id);

// A structure of the path of the team is gone.
void CountRemoval(const FString& path, std::int32_t team);

enum class JoinOutcome {
  kRefusedByLimits,  // the joined counts would pass the receiver's limits
  kRefusedByGame,    // nothing was moved
  kMoved,            // this server had counts of the joining team, now the receiver's
  kNothingHere,      // allowed; this server had no counts of the joining team
};

// A join into team `to` from team `from`: judges whether `to` may take
// `from`'s structures, asks the game (`ask_game`, which answers whether it
// agreed), and then moves the counts everywhere. `per_entry` writes the
// trace lines of each ledger entry moved on this server.
JoinOutcome JoinTeams(std::int32_t to, std::int32_t from, const std::function<bool()>& ask_game,
                      const MoveTrace& per_entry);

// Moves team `from`'s counts to team `to` without a check (a tribe the
// game has created); "to" up to 1000 drops them. Answers whether this
// server had counts of `from`.
bool MoveTeam(std::int32_t from, std::int32_t to, const MoveTrace& per_entry);

struct CountsStanding {
  TeamView counts;  // what the checks read, in `scope`
  TeamView here;    // this server's counts
  CountsScope scope = CountsScope::kThisServer;
};

// The team's counts as the checks read them, and this server's own; never
// adds a team to the counts.
CountsStanding TeamStanding(std::int32_t team);

struct TeamsOverStanding {
  std::vector<TeamOver> teams;  // most over first
  CountsScope scope = CountsScope::kThisServer;
};

// The teams above any of their limits, judged by the counts the checks read:
// with no cluster, as TeamsOverLimits() finds them; while the cluster can be
// asked, the teams this server counts judged by the cluster's counts, read in
// one batch within the call's budget; else by this server's counts, in the
// scope kThisServerOnly.
TeamsOverStanding TeamsOver();

// The lines cairnward.status gives of where the counts come from: the
// cluster's, in UTF-8 without line breaks; none without a cluster.
std::vector<std::string> CountsStatusLines();

// Rebuilds this server's counts from the world and, in cluster mode,
// publishes them as its contribution: what every recount of the plug-in does.
void Recount();

}  // namespace cairnward
