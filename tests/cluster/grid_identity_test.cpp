#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "cluster/cluster_story.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class GridIdentity : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    StartGrid();
  }

  RedisServer redis_;
};

// Two grids configured with one "Server" would overwrite each other's
// counts: the second is refused while the first's lease lives, counts its
// own world, and joins once the stale lease has expired.
TEST_F(GridIdentity, ANameHeldByAnotherInstanceCountsLocallyUntilItsLeaseExpires) {
  ConfigureCluster(redis_.Port());
  RedisCall({"SET", LeaseKey("A1"), "0badcafe", "PX", "700"});
  ASSERT_TRUE(server().LoadLinkedPlugin(&PluginEntry));
  EXPECT_THAT(Errors(),
              ElementsAre(HasSubstr("Cluster: server name \"A1\" of \"" + Settings("A1").name +
                                    "\" is held by another running instance (0badcafe)")));
  EXPECT_FALSE(ClusterUp());
  Place(alice_, kWall);
  EXPECT_EQ(Aggregate(3001), (Counts{}));

  for (int i = 0; i < 1000 && !ClusterUp(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(ClusterUp());
  EXPECT_EQ(Aggregate(3001), Local(3001));
  EXPECT_NE(RedisCall({"GET", LeaseKey("A1")}), "0badcafe");
  EXPECT_THAT(Errors(), ::testing::SizeIs(1));
}

// A typo in "Name" forms a cluster of its own: the log says how many other
// grids the cluster lists, so a lone grid shows.
TEST_F(GridIdentity, TheLogSaysHowManyOtherGridsTheClusterLists) {
  ConfigureCluster(redis_.Port());
  RedisCall({"SADD", KeyNames(Settings("A1").name, "A1").Servers(), "B1", "A1"});
  ASSERT_TRUE(server().LoadLinkedPlugin(&PluginEntry));
  EXPECT_THAT(Infos(),
              ::testing::Contains("Cluster: \"" + Settings("A1").name + "\" lists 1 other grid"));
}

}  // namespace
}  // namespace cairnward::testing
