#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    MaxAmount(50);
    alice_ = AddPlayer("Alice", 101, 3001);
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
    for (int i = 0; i < 1000 && !ClusterUp(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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
  standin::SimPlayerController* alice_ = nullptr;
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

}  // namespace
}  // namespace cairnward::testing
