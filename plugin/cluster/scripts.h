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
  // KEYS: aggregate, contribution, server teams, servers, server digests,
  // the server's limits. ARGV: team, server, the limits' version, whose limits judge
  // ("everyone", "own": the team's own where it has one, "exempt": none),
  // then the fields this placement counts at. Refuses when a counted field
  // is at or above its limit or any other field of the team is above it;
  // else adds 1 at each counted field. Returns {0 or 1 (refused), then the
  // team's aggregate before as field and count pairs}, or {-1} when the
  // limits hash does not hold that version.
  kPlace,
  // KEYS: as kPlace, without the limits. ARGV: team, server, then field and
  // change pairs. A count never goes below 0.
  kChange,
  // ARGV: prefix, server, then per team: team, digest, n, n field and count
  // pairs. Replaces the server's contribution of each team given (n = 0
  // drops it), unless the digest is the one its last replacement left and
  // nothing changed the contribution since: an unchanged contribution costs
  // one hash lookup.
  kReplace,
  // ARGV: prefix, from team, to team ("0": nowhere). Moves every server's
  // contribution and the aggregate.
  kMove,
};
inline constexpr std::size_t kScriptCount = 4;

// The Lua source of a script.
std::string_view ScriptSource(Script script);

}  // namespace cairnward
