#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "cluster/cluster_status.h"
#include "cluster/cluster_story.h"
#include "commands/limits_body.h"
#include "host/text.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

class ClusterStatus : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    StartGrid();
    Config()["Messages"]["ShowLimitsType"] = "Chat";
    JoinCluster(redis_.Port());
  }

  // Alice's /limits, and the line that says its numbers are this server's only.
  std::string Limits() {
    server().Chat(alice_, u"/limits");
    return ToUtf8(Received(alice_).back().text);
  }
  const std::string only_here_ = ToUtf8(kThisServerOnlyLine);

  std::string Over() {
    const auto replies = server().Rcon(u"cairnward.over");
    return replies.size() == 1 ? ToUtf8(replies[0].text) : "(not one reply)";
  }

  RedisServer redis_;
};

TEST_F(ClusterStatus, StatusAndLimitsSayWhetherTheNumbersAreTheClustersOrThisServersOnly) {
  {
    PeerServer b1(Settings("B1"), "B1");
    b1.Place(3001, kWalls, {50, 10, 5});
  }
  Place(alice_, kWall);
  Recount();
  EXPECT_THAT(ClusterStatusLines(),
              ElementsAre(AllOf(HasSubstr("grid \"A1\": link up since "), HasSubstr("version "),
                                HasSubstr(", p50 "), HasSubstr(", p99 ")),
                          AllOf(HasSubstr("Last publication: "), HasSubstr(", 1 team in ")),
                          AllOf(HasSubstr("Grids (2): "), HasSubstr("\"A1\" (this grid, "),
                                HasSubstr("\"B1\" (no lease: stopped)")),
                          "Grids whose limits differ from this grid's: \"B1\" (1 field differs)"));
  EXPECT_THAT(Limits(), Not(HasSubstr(only_here_)));

  redis_.Stop();
  Place(alice_, kWall);
  EXPECT_THAT(ClusterStatusLines(), ElementsAre(HasSubstr("grid \"A1\": link down since "),
                                                HasSubstr("Last publication: "),
                                                "Grids: not known while the link is down"));
  EXPECT_THAT(Limits(), EndsWith(only_here_));

  redis_.Start();
  for (int i = 0; i < 1000 && !ClusterUp(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_THAT(Limits(), Not(HasSubstr(only_here_)));
  EXPECT_THAT(ClusterStatusLines().front(), HasSubstr("link up since "));
}

TEST_F(ClusterStatus, OverJudgesThisGridsTeamsByTheClustersCountsAndFallsBackWithTheLine) {
  // 3001 has 2 walls here and 2 on B1, whose limit is 5: above this grid's
  // 3 only in the cluster. 3002 has walls on B1 alone: not this grid's to list.
  Place(alice_, kWall);
  Place(alice_, kWall);
  {
    PeerServer b1(Settings("B1"), "B1");
    ASSERT_TRUE(b1.Place(3001, kWalls, {50, 10, 5}));
    ASSERT_TRUE(b1.Place(3001, kWalls, {50, 10, 5}));
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(b1.Place(3002, kWalls, {50, 10, 5}));
    }
  }
  EXPECT_EQ(Over(), "3001: Wall 4/3");

  redis_.Stop();
  EXPECT_EQ(Over(), "No team is over a limit\n" + only_here_);
}

}  // namespace
}  // namespace cairnward::testing
