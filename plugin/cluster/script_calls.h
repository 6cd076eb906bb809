#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"
#include "host/flat_hash_map.h"

namespace cairnward {

// The keys and arguments of the scripts' calls, built in one place for the
// plug-in and for tests that stand in for other servers.

// Whose limits judge a placement.
enum class JudgedBy { kEveryonesLimits, kTeamLimits, kExempt };

// A field a placement counts at, with the team's limit there under the
// limits of the version the placement names.
struct CountedField {
  std::string_view field;
  std::int32_t limit = 0;
};
// A final placement by the team that counts at the fields given, judged by
// the limits of the version given.
Command PlaceCall(const KeyNames& keys, std::int32_t team, std::string_view limits_version,
                  JudgedBy judged, std::span<const CountedField> counted);

// A change of the team's counts: field and change pairs.
Command ChangeCall(const KeyNames& keys, std::int32_t team,
                   std::span<const std::pair<std::string, std::int32_t>> changes);

// A team's counts as (position in the fields, count) pairs, for the counts
// above 0; and a server's, by team.
using TeamCountPairs = std::vector<std::pair<std::uint32_t, std::int32_t>>;
using ContributionsByTeam = FlatHashMap<std::int32_t, TeamCountPairs>;

// The pairs of a team's counts at every position.
TeamCountPairs CountsAboveZero(std::span<const std::int32_t> counts);
// Adds `change` to the count at `position` of pairs in position order; a
// count that reaches 0 leaves, none goes below it.
void AddAt(TeamCountPairs& pairs, std::uint32_t position, std::int32_t change);

// The calls of the replace script that make the server's contribution of
// every team of `counts` what it gives, and drop those of `dropped`, taken
// after the move sequence `sequence` was read. Each call holds at most
// TeamsPerPiece(servers) teams, so that no one call keeps Redis from the
// other servers for long. Each team goes with a digest of its counts, so
// that Redis passes over a contribution that has not changed.
std::vector<Command> ReplaceCalls(const KeyNames& keys, std::span<const std::string> fields,
                                  const ContributionsByTeam& counts,
                                  std::span<const std::int32_t> dropped, std::int64_t sequence,
                                  std::size_t teams_per_piece);
// The publishing slot a replace piece keeps held (see publishing_slot.h):
// empty when none.
struct SlotHeld {
  std::string key;
  std::string holder;
};
// The same one piece at a time: a call of no team yet, and a team added to it.
Command ReplacePiece(const KeyNames& keys, std::int64_t sequence, const SlotHeld& slot = {});
void AddReplacedTeam(Command& piece, std::span<const std::string> fields, std::int32_t team,
                     std::span<const std::pair<std::uint32_t, std::int32_t>> team_counts);
// The teams a replace call's answer lists as not replaced, with why.
std::vector<std::pair<std::int32_t, std::string>> ReplaceProblems(const redisReply& answer);
// Teams per replace call in a cluster of `servers` servers: a changed team
// costs Redis one read per server, and a call reads at most a few thousand.
std::size_t TeamsPerPiece(std::size_t servers);

// A join of team `from` into `to` (up to 1000: its counts are dropped),
// judged by this server's limits of the version given unless `judged` is
// false.
Command JoinCall(const KeyNames& keys, std::int32_t from, std::int32_t to,
                 std::string_view limits_version, bool judged);
// What moves back what a join moved: `moved` is the join's answer after its
// sequence, as strings.
Command UnjoinCall(const KeyNames& keys, std::int32_t from, std::int32_t to,
                   std::span<const std::string> moved);
// The key of the cluster's move sequence.
std::string MoveSequenceKey(const KeyNames& keys);
// The call that reads the move sequence, and the sequence in its answer
// (0 while nothing has moved).
Command MoveSequenceCall(const KeyNames& keys);
std::int64_t MoveSequenceIn(const redisReply& reply);

// The team of a member of a set of teams; 0 when it is none.
std::int32_t TeamOfMember(std::string_view member);

// Field and limit pairs of a server's limits hash.
using LimitFields = std::vector<std::pair<std::string, std::int32_t>>;
// The field of a team's limit of a field (under "Teams").
std::string TeamLimitField(std::int32_t team, std::string_view field);
// The version of limits: a digest of them, so that servers whose limits are
// alike publish the same version and a team found within one server's
// limits is within every such server's.
std::string LimitsVersion(const LimitFields& limits);
// The commands that replace this server's limits hash with the limits
// given in one step, the version first.
std::vector<Command> LimitsCalls(const KeyNames& keys, std::string_view version,
                                 const LimitFields& limits);

}  // namespace cairnward
