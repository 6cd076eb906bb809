#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "cluster/cluster_story.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;

constexpr auto kTimeout = std::chrono::milliseconds(200);
// What a loaded machine and the sanitizers may add to a wait that ends at
// the timeout: far below a wait that the timeout did not end.
constexpr auto kSlack = std::chrono::milliseconds(300);

class RedisFaults : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    StartGrid();
  }

  std::vector<std::string> Lines(const char* text) const {
    std::vector<std::string> found;
    for (const std::string& line : PluginLogLines(spdlog::level::warn)) {
      if (line.find(text) != std::string::npos) {
        found.push_back(line);
      }
    }
    return found;
  }

  static void AwaitLink() {
    Await([] { return ClusterUp(); });
  }

  // Until `done` holds, at most 5 s.
  static void Await(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Joins with "Cluster" keys besides the story's.
  void JoinClusterWith(const nlohmann::json& keys) {
    ConfigureCluster(redis_.Port());
    Config()["Cluster"].update(keys);
    Configure();
    AttachPlugin();
  }

  // Three placements while the link is down: local limits (3 walls) hold,
  // one warning says so, and once Redis is back the aggregate is this
  // server's counts again.
  void PlaceThroughOutage(const std::function<void()>& fail, const std::function<void()>& heal) {
    Place(alice_, kWall);
    fail();
    for (int i = 0; i < 3; ++i) {
      Place(alice_, kWall);
    }
    EXPECT_EQ(Local(3001)[kWalls], 3);
    EXPECT_THAT(Lines("cannot be used"), SizeIs(1));
    heal();
    AwaitLink();
    EXPECT_THAT(Lines("is back;"), SizeIs(1));
    EXPECT_EQ(Aggregate(3001), Local(3001));
    EXPECT_LE(ClusterLongestWait(), kTimeout + kSlack);
  }

  RedisServer redis_;
};

TEST_F(RedisFaults, KilledAndRestartedEmptyTheCountsArePublishedAgain) {
  JoinCluster(redis_.Port());
  PlaceThroughOutage([&] { redis_.Stop(); }, [&] { redis_.Start(); });
}

TEST_F(RedisFaults, PausedCallsTimeOutAndTheGameThreadGoesOn) {
  JoinCluster(redis_.Port());
  PlaceThroughOutage([&] { redis_.Pause(); }, [&] { redis_.Resume(); });
}

TEST_F(RedisFaults, AWrongPasswordCountsLocallyUntilTheRightOneIsLoaded) {
  RedisServer guarded("right");
  ConfigureCluster(guarded.Port(), "wrong");
  ASSERT_TRUE(server().LoadLinkedPlugin(&PluginEntry));
  EXPECT_THAT(
      Lines("cannot be used"),
      ElementsAre(AllOf(HasSubstr("AUTH refused"), HasSubstr(std::to_string(guarded.Port())))));
  for (int i = 0; i < 4; ++i) {
    Place(alice_, kWall);
  }
  EXPECT_EQ(Local(3001)[kWalls], 3);
  EXPECT_FALSE(ClusterUp());

  server().UnloadPlugin();
  JoinCluster(guarded.Port(), "right");
  EXPECT_EQ(Aggregate(3001), Local(3001));
}

// The game thread's budget: one hook waits at most TimeoutMs on Redis in
// all, the wait for the publication that follows a reconnection included.
TEST_F(RedisFaults, AHookWaitsAtMostTimeoutMsInAll) {
  constexpr auto kHookTimeout = std::chrono::milliseconds(500);
  JoinClusterWith({{"TimeoutMs", kHookTimeout.count()}});
  Place(alice_, kWall);
  redis_.Stop();
  Place(alice_, kWall);
  redis_.Start();
  Await([&] { return !RedisCall({"GET", LeaseKey("A1")}).empty(); });
  redis_.Pause();  // the link's thread has connected: the next hook takes it over
  const auto start = std::chrono::steady_clock::now();
  Place(alice_, kWall);
  const auto waited = std::chrono::steady_clock::now() - start;
  redis_.Resume();
  EXPECT_LE(waited, kHookTimeout + kSlack);
}

// A Redis that keeps refusing writes (maxmemory reached) passes no
// reconnection: one warning down, one back, however long it lasts.
TEST_F(RedisFaults, AnErrorRedisKeepsAnsweringIsSaidOnceDownAndOnceBack) {
  JoinCluster(redis_.Port());
  Place(alice_, kWall);
  RedisCall({"CONFIG", "SET", "maxmemory", "1"});
  for (int i = 0; i < 10; ++i) {
    Place(alice_, kWall);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  EXPECT_THAT(Lines("cannot be used"), ElementsAre(HasSubstr("OOM")));
  EXPECT_THAT(Lines("is back;"), SizeIs(0));
  RedisCall({"CONFIG", "SET", "maxmemory", "0"});
  AwaitLink();
  EXPECT_THAT(Lines("is back;"), SizeIs(1));
  EXPECT_EQ(Aggregate(3001), Local(3001));
}

// Background work has timeouts of its own: a Redis that stalls during a
// publication delays it, and neither loses it nor takes the link down.
TEST_F(RedisFaults, APublicationOutlastsAStallLongerThanTimeoutMs) {
  JoinCluster(redis_.Port());
  ASSERT_TRUE(RecountTwentyThousandTeams()) << "20,000 teams take longer than the story waits";
  redis_.Pause();
  std::this_thread::sleep_for(kTimeout * 2);
  redis_.Resume();
  Await([] { return !ClusterPublishing(); });
  EXPECT_TRUE(ClusterUp());
  EXPECT_THAT(Lines("cannot be used"), SizeIs(0));
  EXPECT_EQ(Aggregate(30000), Local(30000));
}

// A lost or emptied Redis is found by the heartbeat: the contribution is
// back without a player doing anything.
TEST_F(RedisFaults, AnEmptiedRedisGetsTheCountsBackWithoutAPlayer) {
  JoinClusterWith({{"HeartbeatMs", 50}});
  Spawn(kWall, 3001, 2);
  Recount();
  RedisCall({"FLUSHALL"});
  Await([&] { return Aggregate(3001) == Local(3001); });
  EXPECT_EQ(Aggregate(3001), (Counts{2, 0, 2}));
}

// A placement that finds this grid's limits gone publishes its contribution
// again too, and is judged with it: 2 walls here and 1 on B1 against 3.
TEST_F(RedisFaults, APlacementThatFindsTheLimitsGoneIsJudgedWithThisGridsCountsBack) {
  JoinClusterWith({{"HeartbeatMs", 600000}});
  Spawn(kWall, 3001, 1);
  Recount();
  Place(alice_, kWall);
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3001, kWalls, {50, 10, 3});
  RedisCall({"FLUSHALL"});
  b1.Recount();
  EXPECT_EQ(Place(alice_, kWall).actor, nullptr);
  EXPECT_EQ(Aggregate(3001), (Counts{3, 0, 3}));
}

// While this grid's counts wait their turn to be published, Redis lacks
// them: what they refuse alone is refused, at every placement and join.
TEST_F(RedisFaults, WhileThisGridsCountsWaitToBePublishedTheyStillRefuse) {
  JoinClusterWith({{"HeartbeatMs", 600000}});
  auto* carol = AddPlayer("Carol", 103, 3003);
  PutInTribe(alice_, 5001);
  Spawn(kWall, 5001, 2);
  Spawn(kWall, 3003);
  Recount();
  Place(alice_, kWall);
  RedisCall({"FLUSHALL"});
  const std::string slot = KeyNames(Settings("A1").name, "A1").Prefix() + "publishing:1";
  RedisCall({"SET", slot, "another grid"});
  EXPECT_EQ(Place(alice_, kWall).actor, nullptr);
  EXPECT_TRUE(ClusterPublishing());
  EXPECT_EQ(Place(alice_, kWall).actor, nullptr);
  EXPECT_FALSE(server().Invite(carol, alice_)) << "3 + 1 walls against 3";
  RedisCall({"DEL", slot});
  Await([&] { return !ClusterPublishing(); });
  EXPECT_EQ(Aggregate(5001), (Counts{3, 0, 3}));
}

}  // namespace
}  // namespace cairnward::testing
