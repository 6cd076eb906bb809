#pragma once

namespace cairnward {

class KeyNames;
class Publisher;
class RedisLink;
class RepairRunner;

// The cluster's parts as they are now, for the administrator's commands
// (repairs and status), on the game thread; all null without a cluster.
struct ClusterParts {
  RedisLink* link = nullptr;
  const KeyNames* keys = nullptr;
  Publisher* publisher = nullptr;
  RepairRunner* repairs = nullptr;
};
ClusterParts CurrentClusterParts();

}  // namespace cairnward
