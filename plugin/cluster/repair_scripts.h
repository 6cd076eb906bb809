#pragma once

#include <string_view>

namespace cairnward {

// The Lua scripts of the administrator's repairs (cairnward.cluster). Each
// runs on a bounded piece of the cluster's keys, reads and checks every value
// it uses before its first write, and so leaves a team either as it was or
// repaired whole. None of them runs a command that Redis 3.0 would refuse to
// replicate (SCAN is the client's), so they may write after reading.

// ARGV: mode ("check", "rebuild" or "retire"), the cluster's key prefix, the
// retired grid as it stands in keys ("" unless retiring), then team ids.
// Sums each team's contributions of the grids in the `servers` set (but the
// retired one) and compares the sum with the team's aggregate. "check"
// writes nothing; "rebuild" makes the aggregate the sum and the team's grid
// index the grids that hold a contribution; "retire" also drops the retired
// grid's contribution and membership of the team, and answers {-1}
// without a write while the retired grid's lease is held.
// Answers one entry per team that needs telling:
//   {team, "differs", fields that differ, then up to 5 triples of field,
//    the aggregate's value ("" when none) and the sum}
//   {team, "unindexed"}: the sum is right, but the team's grid index (while
//    the indexes are kept) does not name the grids that hold it
//   {team, "bad", grid, "field=value"}: a contribution that holds something
//    other than a count; the team is left as it was.
std::string_view RepairTeamsScript();

// KEYS: this grid's limits hash, another grid's. Answers {-2} when this
// grid has no limits in Redis yet, {-1} when the other grid has none, else {fields that differ,
// then up to 3 triples of field, this grid's value and the other's ("" when none)}; "v", the
// version, is not compared.
std::string_view CompareLimitsScript();

// ARGV: the cluster's key prefix, the retired grid as it stands in keys.
// Deletes the grid's set of teams and limits (and the digests hash of versions
// before the grid indexes) and takes it out of
// the `servers` set; answers 0 without a write while its lease is held, else 1.
std::string_view RetireGridScript();

}  // namespace cairnward
