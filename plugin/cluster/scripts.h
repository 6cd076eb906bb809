#pragma once

#include <array>
#include <string_view>

namespace cairnward {

// The Lua scripts the plug-in runs in Redis. Each runs atomically, so that no
// other server sees a count half changed. Every count is kept twice: in the
// server's contribution and in the team's aggregate, and every script
// changes both by the same amount, so the aggregate stays the sum of the
// contributions.
enum class Script : std::size_t {
  // KEYS: aggregate, contribution, server teams, servers.
  // ARGV: team, server, n, n positions (1-based) this placement counts at,
  // then field and limit for every position. Refuses (returns the position
  // that refuses) when a counted position is at or above its limit or any
  // other is above it; else adds 1 at each counted position. Returns
  // {refusing position or 0, count before at each position...}.
  kPlace,
  // KEYS: as kPlace. ARGV: team, server, then field and change pairs. A count
  // never goes below 0.
  kChange,
  // ARGV: prefix, server, then per team: team, n, n field and count pairs.
  // Replaces the server's contribution of each team given (n = 0 drops it).
  kReplace,
  // ARGV: prefix, from team, to team ("0": nowhere). Moves every server's
  // contribution and the aggregate.
  kMove,
};
inline constexpr std::size_t kScriptCount = 4;

// The Lua source of a script.
std::string_view ScriptSource(Script script);

}  // namespace cairnward
