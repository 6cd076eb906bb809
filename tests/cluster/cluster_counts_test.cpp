#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "cluster/cluster_story.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

class ClusterCounts : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    MaxAmount(50);
    Config()["Messages"]["ShowLimitMsg"] = "{}: {}/{} ({} here)\n";
    Config()["Messages"]["ShowLimitsType"] = "Chat";
    Config()["Messages"]["ReachLimitMsg"] = "{} {}/{}";
    JoinSharedCluster();
  }
};

TEST_F(ClusterCounts, ALimitHoldsForTheWholeClusterAndLimitsShowsBothCounts) {
  auto* alice = AddPlayer("Alice", 101, 3001);
  PeerServer b1(Settings("B1"), "B1");
  const Counts limits{50, 10, 3};
  EXPECT_TRUE(b1.Place(3001, kWalls, limits));
  EXPECT_TRUE(b1.Place(3001, kWalls, limits));

  EXPECT_NE(Place(alice, kWall).actor, nullptr);
  EXPECT_EQ(Place(alice, kWall).actor, nullptr) << "3 walls in the cluster, 1 of them here";
  EXPECT_EQ(Received(alice).back().text, u"Wall 3/3") << "named by the cluster's counts";
  EXPECT_FALSE(b1.Place(3001, kWalls, limits)) << "the other grid is refused too";
  EXPECT_EQ(Aggregate(3001), (Counts{3, 0, 3}));
  EXPECT_EQ(Local(3001), (Counts{1, 0, 1}));

  server().Chat(alice, u"/limits");
  EXPECT_NE(Received(alice).back().text.find(u"Wall: 3/3 (1 here)"), std::u16string::npos);

  // A removal here frees a slot on every grid.
  server().Destroy(standin::StructuresOf(world(), 3001).front(), standin::Via::kDie);
  EXPECT_EQ(Aggregate(3001), (Counts{2, 0, 2}));
  EXPECT_TRUE(b1.Place(3001, kWalls, limits));
}

TEST_F(ClusterCounts, AMergeIsJudgedByClusterCountsAndMovesEveryGridsCounts) {
  auto* alice = AddPlayer("Alice", 101, 3001);
  auto* bob = AddPlayer("Bob", 102, 3002);
  auto* carol = AddPlayer("Carol", 103, 3003);
  PutInTribe(alice, 5001);
  Spawn(kWall, 5001, 2);
  Recount();
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3002, kWalls, {50, 10, 3});
  b1.Place(3002, kWalls, {50, 10, 3});
  b1.Place(3003, kWalls, {50, 10, 3});
  b1.Recount();

  EXPECT_FALSE(server().Invite(bob, alice)) << "2 + 2 walls, 0 of Bob's here";
  EXPECT_EQ(Aggregate(3002), (Counts{2, 0, 2}));

  EXPECT_TRUE(server().Invite(carol, alice));
  EXPECT_EQ(Aggregate(3003), (Counts{}));
  EXPECT_EQ(Aggregate(5001), (Counts{3, 0, 3})) << "B1's wall moved with Carol";
  b1.Recount();
  EXPECT_EQ(Aggregate(3003), (Counts{1, 0, 1})) << "B1's world has not seen the join yet";
  b1.FollowJoin(3003, 5001);
  b1.Recount();
  Recount();
  EXPECT_EQ(Aggregate(5001), (Counts{3, 0, 3}));
}

TEST_F(ClusterCounts, ChangesWhileALargeContributionIsSentInTheBackgroundAreNotLost) {
  ASSERT_TRUE(RecountTwentyThousandTeams())
      << "20,000 teams take longer than the game thread waits";
  auto* alice = AddPlayer("Alice", 101, 10001);
  auto* bob = AddPlayer("Bob", 102, 29999);
  auto* carol = AddPlayer("Carol", 103, 20000);
  PutInTribe(alice, 10001);
  Place(alice, kWall);
  Place(bob, kFoundation);
  server().Destroy(standin::StructuresOf(world(), 25000).front(), standin::Via::kDie);
  EXPECT_TRUE(server().Invite(carol, alice));
  for (int i = 0; i < 2000 && ClusterPublishing(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(ClusterUp());
  for (const std::int32_t team : {10001, 29999, 25000, 20000, 15000}) {
    EXPECT_EQ(Aggregate(team), Local(team)) << team;
  }
}

TEST_F(ClusterCounts, ATeamsOwnLimitsAndExemptAdminsAreJudgedInRedisEvenAfterItLostThem) {
  Config()["Teams"]["3001"] = {{"Structures", {{BlueprintPath(kWall), 1}}}};
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  auto* alice = AddPlayer("Alice", 101, 3001);
  auto* bob = AddPlayer("Bob", 102, 3002);
  auto* admin = AddPlayer("Admin", 103, 3001, true);
  PeerServer b1(Settings("B1"), "B1");
  EXPECT_TRUE(b1.Place(3001, kWalls, {50, 10, 3})) << "B1 has no limit of Alice's own";

  EXPECT_EQ(Place(alice, kWall).actor, nullptr) << "her tribe's own limit of 1 wall";
  EXPECT_NE(Place(admin, kWall).actor, nullptr);
  EXPECT_EQ(Aggregate(3001), (Counts{2, 0, 2}));
  EXPECT_NE(Place(bob, kWall).actor, nullptr);

  // Redis emptied of this server's limits: they are published again.
  redisContext* context = redisConnect("127.0.0.1", port_);
  const std::string limits = KeyNames(Settings("A1").name, "A1").Limits();
  freeReplyObject(redisCommand(context, "DEL %b", limits.data(), limits.size()));
  EXPECT_NE(Place(bob, kWall).actor, nullptr);
  EXPECT_NE(Place(bob, kWall).actor, nullptr);
  EXPECT_EQ(Place(bob, kWall).actor, nullptr) << "3 walls, everyone's limit";
  auto* reply =
      static_cast<redisReply*>(redisCommand(context, "HEXISTS %b v", limits.data(), limits.size()));
  EXPECT_EQ(reply->integer, 1);
  freeReplyObject(reply);
  redisFree(context);
  EXPECT_EQ(Aggregate(3002), (Counts{3, 0, 3}));
}

// While a team is known to be within this grid's limits, a placement reads
// only the fields it counts at; a grid with other limits, or a team that an
// exempt administrator took past a limit, is judged whole.
TEST_F(ClusterCounts, ALimitOfAFieldThePlacementDoesNotCountAtStillRefusesIt) {
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  auto* alice = AddPlayer("Alice", 101, 3001);
  auto* admin = AddPlayer("Admin", 103, 3001, true);
  EXPECT_NE(Place(alice, kWall).actor, nullptr);
  EXPECT_NE(Place(alice, kWall).actor, nullptr);
  EXPECT_NE(Place(alice, kFoundation).actor, nullptr);

  PeerServer b1(Settings("B1"), "B1");
  EXPECT_FALSE(b1.Place(3001, kFoundations, {50, 10, 1})) << "2 walls against B1's limit of 1";
  EXPECT_NE(Place(alice, kFoundation).actor, nullptr) << "within this grid's limits";

  EXPECT_NE(Place(admin, kWall).actor, nullptr);
  EXPECT_NE(Place(admin, kWall).actor, nullptr) << "exempt: 4 walls against 3";
  EXPECT_EQ(Place(alice, kFoundation).actor, nullptr) << "above the wall limit";
  EXPECT_EQ(Received(alice).back().text, u"Wall 4/3");
  EXPECT_EQ(Aggregate(3001), (Counts{6, 2, 4}));
}

TEST_F(ClusterCounts, NamesWithOddCharactersStayInsideTheirOwnKeys) {
  EXPECT_EQ(EscapeKeyPart("a:b*c%"), "a%3Ab%2Ac%25");
  EXPECT_NE(EscapeKeyPart("a:b"), EscapeKeyPart("a%3Ab"));
  const KeyNames keys("my:cluster", "A1:team:5");
  EXPECT_EQ(keys.Contribution(3001), "cairnward:my%3Acluster:server:A1%3Ateam%3A5:team:3001");
  EXPECT_EQ(keys.Aggregate(3001), "cairnward:my%3Acluster:team:3001");

  // A configured path with a newline, blanks and quotes is one hash field, not a command.
  const std::string odd = "Blueprint'/Game/Odd \"x\"\r\nFLUSHALL.Odd'";
  Config()["Structures"][odd] = {{"Count", 1}};
  Configure();
  Recount();
  auto* alice = AddPlayer("Alice", 101, 3001);
  EXPECT_NE(Place(alice, kWall).actor, nullptr);
  EXPECT_EQ(Aggregate(3001), (Counts{1, 0, 1}));
}

}  // namespace
}  // namespace cairnward::testing
