#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cluster/cluster_counts.h"
#include "cluster/key_names.h"
#include "cluster/redis_link.h"
#include "cluster/script_calls.h"
#include "config/cluster_settings.h"
#include "counts/counts.h"
#include "support/direct_story.h"

namespace cairnward::testing {

// What a team's counts are keyed by in Redis, in ledger order: the total,
// then the two blueprints DefaultConfig() limits.
inline const std::array<std::string, 3> kFields{"total", "b:" + BlueprintPath(kFoundation),
                                                "b:" + BlueprintPath(kWall)};
enum Position : std::size_t { kTotal = 0, kFoundations = 1, kWalls = 2 };
using Counts = std::array<std::int32_t, 3>;

// Another grid server of the cluster, standing in for its plug-in: a world
// of its own (team -> counts) kept in Redis through the plug-in's link and
// scripts, under its own server name.
class PeerServer {
 public:
  PeerServer(const ClusterSettings& cluster, std::string server);

  // Places one structure at `position` (kFoundations or kWalls) if the
  // cluster's counts allow it; with the link down, by its own counts.
  bool Place(std::int32_t team, std::size_t position, const Counts& limits);
  void Remove(std::int32_t team, std::size_t position);
  // Its world's counts replace its contribution, as a recount's do; false
  // when the link is down. In two steps for stories that come between a
  // publication's snapshot and its pieces: the snapshot (with the move
  // sequence read before it), then the pieces.
  bool Recount();
  struct Snapshot {
    std::int64_t sequence = 0;
    std::map<std::int32_t, Counts> world;
  };
  [[nodiscard]] std::optional<Snapshot> TakeSnapshot();
  bool Send(const Snapshot& snapshot);
  // A join of team `from` into `to` judged by the limits given and moved in
  // one script, as this grid's plug-in makes it; none when the link is down.
  // Its world follows when it is allowed.
  std::optional<bool> Join(std::int32_t from, std::int32_t to, const Counts& limits);
  // The game moved team `from`'s structures in its world to team `to`.
  void FollowJoin(std::int32_t from, std::int32_t to);

  [[nodiscard]] const std::map<std::int32_t, Counts>& World() const { return world_; }

 private:
  // Publishes the limits and answers their version.
  std::string PublishLimits(const Counts& limits);
  // Whether its link is up, republishing its world when it has just come
  // back or Redis has lost it.
  bool Up();

  KeyNames keys_;
  std::map<std::int32_t, Counts> world_;
  std::atomic<bool> lost_{false};
  std::unique_ptr<RedisLink> link_;
};

// A story whose server is grid "A1" of a cluster on the Redis at `port`,
// named after the running test so that tests sharing a Redis never meet: the
// plug-in attached with a "Cluster" section, as a load does.
class ClusterStory : public DirectStory {
 protected:
  // Where most stories start: at most 50 structures a team, and Alice, a
  // player of team 3001 on this grid.
  void StartGrid();
  // JoinCluster() on the Redis of the CTest fixture "redis", which the tests
  // that never stop it share; without the fixture the test is skipped.
  void JoinSharedCluster();
  // Waits for the load's publication to be sent.
  void JoinCluster(int port, const std::string& password = {});
  // The "Cluster" section alone, for a test that loads the plug-in itself.
  void ConfigureCluster(int port, const std::string& password = {});
  // Every recount of the plug-in publishes its counts.
  static void Recount() { cairnward::Recount(); }
  // A wall for each of 20,000 teams (10001 to 30000), recounted: a
  // publication larger than the game thread waits for. Whether it is still
  // being sent.
  bool RecountTwentyThousandTeams();

  [[nodiscard]] ClusterSettings Settings(const std::string& server) const;
  // A team's counts in the aggregate, and in a grid's contribution, read
  // straight from Redis.
  [[nodiscard]] Counts Aggregate(std::int32_t team) const;
  [[nodiscard]] Counts Contribution(const std::string& server, std::int32_t team) const;
  // This server's local counts of a team.
  static Counts Local(std::int32_t team);
  // A command sent straight to Redis, as an administrator's redis-cli would;
  // its reply as text (an integer's digits, "" for none).
  std::string RedisCall(const std::vector<std::string>& command) const;
  // The key of a server's lease in this test's cluster.
  [[nodiscard]] std::string LeaseKey(const std::string& server) const;

  // A command to the Redis of the story, straight.
  Reply Redis(const Command& command) const;
  // Every key of the story's cluster and what it holds, to show that a
  // script wrote nothing.
  [[nodiscard]] std::map<std::string, std::string> Dump() const;
  // Invariant (a): every team's aggregate is the sum of the contributions
  // that exist.
  void ExpectAggregatesAreTheSums() const;

  standin::SimPlayerController* alice_ = nullptr;  // after StartGrid()
  int port_ = 0;
  std::string password_;

 private:
  [[nodiscard]] Counts CountsAt(const std::string& key) const;
};

}  // namespace cairnward::testing
