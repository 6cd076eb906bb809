#pragma once

#include <array>
#include <string_view>

namespace cairnward {

// The Lua scripts the plug-in runs in Redis. Each runs atomically, so that no
// other server sees a count half changed. Every count is kept twice: in the
// server's contribution and in the team's aggregate, and every script
// changes both by the same amount, so the aggregate stays the sum of the
// contributions. Every script that writes a contribution also keeps the
// team's grid index (the grids holding one); the scripts that sum a team read
// the grids of its index while the indexes-kept key exists, else every grid.
//
// Every script reads and checks all it uses before its first write, as no
// Redis rolls back a script that fails part-way. A stored value that is not
// a count (digits, at most 2^31 - 1) is the team's problem: the script
// writes nothing and answers {-2, why} (the join scripts {-2, team, why}).
enum class Script : std::size_t {
  // KEYS: aggregate, contribution, server teams, servers, the team's grid
  // index, the server's limits, the indexes-kept key. ARGV: team, server,
  // the limits' version, whose limits judge ("everyone", "team": the team's
  // limits where it has one, "exempt": none), then the fields this placement counts at. Refuses
  // when
  // a counted field is at or above its limit or any other field of the team
  // is above it; else adds 1 at each counted field. Reads only the counted
  // fields while the aggregate's within field holds the version (the team
  // was within every limit of that version, and no count has risen since but
  // by placements judged under it); else reads the whole team and, when it
  // is allowed, writes the within field. Returns {0, "", then the counted
  // fields' counts before, in order}, {1, the field that refused or "",
  // then the team's aggregate as stored, field and value pairs}, or {-1}
  // when the limits hash does not hold that version (or holds a limit that
  // is not a count).
  kPlace,
  // KEYS: as kPlace, without the limits.
  // ARGV: team, server, then field and
  // change pairs. A count never goes below 0. A count that rises drops the
  // aggregate's within field. Returns {0}.
  kChange,
  // ARGV: prefix, server, the move sequence read before the counts were
  // taken, the publishing slot's key and holder ("" and "": none) and the
  // time in ms it is kept for, then per team: team, digest, n, n field and
  // count pairs.
  // Replaces the server's contribution of each team given (n = 0 drops it)
  // and makes the team's aggregate the sum of the contributions that exist,
  // unless the digest is the one its last replacement left in the team's
  // grid index and nothing changed the contribution or deleted the aggregate
  // since (one hash lookup), or the team was moved by a join after that sequence: the join
  // then holds. Returns team and why pairs for the teams it could not
  // replace (a value that is not a count in another server's contribution).
  kReplace,
  // ARGV: prefix, from team, to team ("0": nowhere), the limits key of the
  // judging server, its limits' version, "judge" or "move". Judges the
  // merged counts by the receiving team's limits (its team limits where it has
  // them), then moves every server's contribution and the aggregate, and
  // records the move under a new move sequence. Returns {1, the field that
  // refused}, {-1} (limits version missing), or {0, sequence, then per
  // server that held some: server, n, n field and count pairs moved}.
  kJoin,
  // ARGV: prefix, from, to (as given to kJoin), then what kJoin answered
  // after its sequence. Moves it back (no more than the receiving team
  // still holds), and records the move. Returns {0}.
  kUnjoin,
};
inline constexpr std::size_t kScriptCount = 5;

// The field of a team's aggregate that names the version of the limits the
// team is known to be within; no counted field has this name.
inline constexpr std::string_view kWithinField = "within";

// The Lua source of a script.
std::string_view ScriptSource(Script script);

}  // namespace cairnward
