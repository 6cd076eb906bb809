#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cluster/cluster_admin.h"
#include "cluster/cluster_parts.h"
#include "cluster/cluster_story.h"
#include "cluster/repair.h"
#include "cluster/repair_runner.h"
#include "host/text.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Grid A1 (this server) and stand-in grids beside it; the repairs run on a
// connection of the test's own, as the repairs' thread runs them.
class ClusterRepairs : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    StartGrid();
    JoinSharedCluster();
    if (IsSkipped()) {
      return;
    }
    connection_.emplace(Settings("A1"), std::chrono::milliseconds(2000));
  }

  long long Integer(const Command& command) { return connection_->Run(command)->integer; }
  std::string RconReply(std::u16string_view command) {
    const auto replies = server().Rcon(std::u16string(command));
    return replies.empty() ? std::string() : ToUtf8(replies.front().text);
  }
  static bool AwaitRepair() {
    return CurrentClusterParts().repairs->WaitIdle(std::chrono::seconds(20));
  }
  [[nodiscard]] KeyNames Keys(const std::string& grid = "A1") const {
    return {Settings(grid).name, grid};
  }
  // A1's and B1's walls of team 3001, and C1's of team 3002.
  void BuildOnThreeGrids(PeerServer& b1, PeerServer& c1) {
    Place(alice_, kWall);
    b1.Place(3001, kWalls, kLimits);
    b1.Place(3001, kFoundations, kLimits);
    c1.Place(3002, kWalls, kLimits);
  }

  static constexpr Counts kLimits{50, 10, 3};
  std::optional<RedisConnection> connection_;
};

TEST_F(ClusterRepairs, RetireTakesAStoppedGridsCountsOutAndRefusesALiveOne) {
  auto b1 = std::make_unique<PeerServer>(Settings("B1"), "B1");
  PeerServer c1(Settings("C1"), "C1");
  BuildOnThreeGrids(*b1, c1);
  ASSERT_EQ(Aggregate(3001), (Counts{3, 1, 2}));

  // B1 runs, under its lease: refused, and nothing changes.
  RepairReport report = RetireGrid(*connection_, Keys(), "B1");
  EXPECT_FALSE(report.done);
  EXPECT_THAT(report.summary, HasSubstr("\"B1\" is live"));
  EXPECT_EQ(Aggregate(3001), (Counts{3, 1, 2}));
  EXPECT_FALSE(RetireGrid(*connection_, Keys(), "A1").done)
      << "this grid retires nothing of its own";

  // Stopped, its lease given up: its contribution leaves the sum, its keys go.
  b1.reset();
  report = RetireGrid(*connection_, Keys(), "B1");
  EXPECT_TRUE(report.done) << report.summary;
  EXPECT_THAT(report.findings, IsEmpty());
  EXPECT_EQ(Aggregate(3001), Local(3001));
  EXPECT_EQ(Aggregate(3002), (Counts{1, 0, 1}));
  EXPECT_EQ(Integer({"SISMEMBER", Keys().Servers(), "B1"}), 0);
  EXPECT_EQ(Integer({"EXISTS", Keys("B1").Contribution(3001), Keys("B1").ServerTeams(),
                     Keys("B1").Limits()}),
            0);
  EXPECT_FALSE(RetireGrid(*connection_, Keys(), "B1").done) << "nothing left to retire";
  EXPECT_TRUE(RebuildAggregates(*connection_, Keys()).findings.empty()) << "the sums held";
}

TEST_F(ClusterRepairs, ARenamedGridCountsOnceAfterItsOldNameIsRetired) {
  {
    PeerServer old_name(Settings("B1"), "B1");
    old_name.Place(3001, kWalls, kLimits);
  }
  PeerServer new_name(Settings("B1-new"), "B1-new");
  new_name.Place(3001, kWalls, kLimits);
  ASSERT_EQ(Aggregate(3001)[kWalls], 2) << "one wall, counted under both names";
  EXPECT_TRUE(RetireGrid(*connection_, Keys(), "B1").done);
  EXPECT_EQ(Aggregate(3001), (Counts{1, 0, 1}));
}

TEST_F(ClusterRepairs, RebuildMakesDeletedOrCorruptedAggregatesTheSumAgain) {
  PeerServer b1(Settings("B1"), "B1");
  PeerServer c1(Settings("C1"), "C1");
  BuildOnThreeGrids(b1, c1);
  Integer({"DEL", Keys().Aggregate(3001)});
  Integer({"HMSET", Keys().Aggregate(3002), "total", "seven", kFields[kFoundations], "4"});

  RepairReport report = RebuildAggregates(*connection_, Keys());
  EXPECT_TRUE(report.done);
  EXPECT_THAT(report.summary, HasSubstr("2 teams read, 2 corrected"));
  EXPECT_EQ(Aggregate(3001), (Counts{3, 1, 2}));
  EXPECT_EQ(Aggregate(3002), (Counts{1, 0, 1}));
  EXPECT_EQ(Integer({"HEXISTS", Keys().Aggregate(3002), kFields[kFoundations]}), 0);

  // A contribution that holds no count leaves its team as it was, and says
  // so; the other teams are rebuilt all the same.
  Integer({"HSET", Keys("C1").Contribution(3002), "total", "x"});
  Integer({"HINCRBY", Keys().Aggregate(3001), "total", "5"});
  report = RebuildAggregates(*connection_, Keys());
  EXPECT_THAT(report.findings, ElementsAre(HasSubstr("team 3001: total is 8, the grids' sum 3"),
                                           AllOf(HasSubstr("team 3002"), HasSubstr("\"C1\""),
                                                 HasSubstr("total=x"))));
  EXPECT_EQ(Aggregate(3001)[kTotal], 3);
  EXPECT_EQ(Aggregate(3002), (Counts{1, 0, 1})) << "left as it was";
}

TEST_F(ClusterRepairs, CheckFindsWrongSumsAndGridsWithOtherLimitsAndWritesNothing) {
  PeerServer b1(Settings("B1"), "B1");
  PeerServer c1(Settings("C1"), "C1");
  BuildOnThreeGrids(b1, c1);
  EXPECT_THAT(CheckCluster(*connection_, Keys()).findings, IsEmpty())
      << "one set of limits, and every aggregate the sum";

  b1.Place(3003, kWalls, {50, 10, 5});
  Integer({"HINCRBY", Keys().Aggregate(3002), kFields[kWalls], "2"});
  const RepairReport report = CheckCluster(*connection_, Keys());
  EXPECT_THAT(report.findings,
              ElementsAre(HasSubstr("team 3002: " + kFields[kWalls] + " is 3, the grids' sum 1"),
                          HasSubstr("\"B1\"'s limits differ from this grid's in 1 field: " +
                                    kFields[kWalls] + " 3 here, 5 there")));
  EXPECT_THAT(report.summary, AllOf(HasSubstr("1 team whose"), HasSubstr("1 grid whose")));
  EXPECT_EQ(Aggregate(3002)[kWalls], 3) << "a check writes nothing";
}

TEST_F(ClusterRepairs, WithoutGridIndexesJoinsReadEveryGridUntilARebuildMakesThem) {
  PeerServer b1(Settings("B1"), "B1");
  PeerServer c1(Settings("C1"), "C1");
  c1.Place(3002, kWalls, kLimits);
  b1.Place(3003, kWalls, kLimits);
  // A cluster whose counts were written before the grid indexes.
  Integer({"DEL", Keys().GridIndexKept(), Keys().GridIndex(3002), Keys().GridIndex(3003)});
  EXPECT_THAT(CheckCluster(*connection_, Keys()).findings,
              Contains(HasSubstr("grid indexes are not kept")));
  ASSERT_EQ(b1.Join(3002, 3003, kLimits), true);
  EXPECT_EQ(Aggregate(3003), (Counts{2, 0, 2})) << "C1's wall moved too";

  EXPECT_THAT(RebuildAggregates(*connection_, Keys()).summary, HasSubstr("0 corrected"));
  ExpectAggregatesAreTheSums();
  Integer({"HDEL", Keys().GridIndex(3003), "C1"});
  EXPECT_THAT(CheckCluster(*connection_, Keys()).findings,
              Contains(HasSubstr("team 3003: its grid index does not name")));
  RebuildAggregates(*connection_, Keys());
  EXPECT_EQ(Integer({"HEXISTS", Keys().GridIndex(3003), "C1"}), 1);
}

TEST_F(ClusterRepairs, TheCommandStartsARepairInTheBackgroundAndLogsItsResult) {
  for (const auto* wrong : {u"cairnward.cluster", u"cairnward.cluster retire",
                            u"cairnward.cluster check now", u"cairnward.cluster fix"}) {
    EXPECT_EQ(RconReply(wrong), kClusterUsage);
  }
  EXPECT_EQ(RconReply(u"cairnward.cluster  check "),
            "Cluster check started; its result goes to the log and to cairnward.status");
  ASSERT_TRUE(AwaitRepair());
  EXPECT_THAT(PluginLogLines(spdlog::level::info),
              Contains(HasSubstr("Cluster check: Checked 0 teams")));

  EXPECT_THAT(RconReply(u"cairnward.cluster retire A1"),
              HasSubstr("retire of grid \"A1\" started"));
  ASSERT_TRUE(AwaitRepair());
  EXPECT_THAT(PluginLogLines(spdlog::level::warn), Contains(HasSubstr("\"A1\" is this grid")));
  EXPECT_THAT(CurrentClusterParts().repairs->State().last, HasSubstr("is this grid"));

  server().UnloadPlugin();
  Config().erase("Cluster");
  Configure();
  AttachPlugin();
  EXPECT_THAT(RconReply(u"cairnward.cluster check"), HasSubstr("Not in cluster mode"));
}

}  // namespace
}  // namespace cairnward::testing
