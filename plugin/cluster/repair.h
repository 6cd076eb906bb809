#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"

namespace cairnward {

// What a repair found and did: a line per finding, then one that sums it up.
struct RepairReport {
  std::vector<std::string> findings;
  std::string summary;
  bool done = true;  // false: refused, or stopped before the end
  // Of a check: the teams read, and those whose counts are not the sum of
  // the grids' (or hold a value that is not a count).
  std::size_t teams = 0;
  std::size_t teams_differing = 0;
};

// The administrator's repairs of the cluster's counts in Redis
// (cairnward.cluster). Each works in pieces: the keys are listed with SCAN
// from here, and each script call handles a bounded batch of teams, so that
// Redis serves the grids between them. They run on a connection of their own
// (a thread's, never the game thread's); a failed call throws LinkDown, and
// what was done until then stays done and consistent, team by team.
// `keys` are this grid's. A repair whose `stop` turns true ends between two
// calls, throwing LinkDown.

// Removes the stopped grid's contribution of every team, lowering the
// aggregates by it, and then its keys and its membership of the `servers`
// set. Refused (done = false) for this grid and for a grid whose lease is
// held; a grid that comes back during the retire stops it.
RepairReport RetireGrid(RedisConnection& connection, const KeyNames& keys, std::string_view grid,
                        const std::atomic<bool>* stop = nullptr);

// Makes every team's aggregate the sum of the contributions.
RepairReport RebuildAggregates(RedisConnection& connection, const KeyNames& keys,
                               const std::atomic<bool>* stop = nullptr);

// Writes nothing: reports the teams whose aggregate is not the sum of the
// contributions, and the grids whose limits are not this grid's.
RepairReport CheckCluster(RedisConnection& connection, const KeyNames& keys,
                          const std::atomic<bool>* stop = nullptr);

// Teams per script call when every team costs a lookup per grid: small
// enough that one call keeps Redis from the other grids for a moment only.
std::size_t TeamsPerBatch(std::size_t grids);

}  // namespace cairnward
