#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "accounting/limit_rules.h"
#include "cluster/cluster_status.h"
#include "cluster/cluster_story.h"
#include "cluster/publishing_slot.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Stories on the shared Redis about what the scripts keep true whatever
// Redis holds and however the grids interleave: (a) every aggregate is the
// sum of the contributions; (b) a contribution is its grid's world, or that
// with a join applied; (c) a script writes all or nothing.
class ClusterInvariants : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    StartGrid();
    JoinSharedCluster();
  }

  [[nodiscard]] std::string ContributionKey(const std::string& server, std::int32_t team) const {
    return KeyNames(Settings(server).name, server).Contribution(team);
  }

  // Puts a value that is not a count into a hash of counts, or makes the
  // key another type altogether.
  void Spoil(const std::string& key, const std::string& value) const {
    if (value == "wrong type") {
      Redis({"DEL", key});
      Redis({"SET", key, "7"});
    } else {
      Redis({"HSET", key, kFields[kTotal], value});
    }
  }

  // Recounts, each publication sent before the next, and a call of this
  // grid's after the last: what it found is said then.
  static void RecountAndSettle(int times) {
    for (int i = 0; i < times; ++i) {
      Recount();
      AwaitPublication();
    }
    ClusterUp();
  }
  static void AwaitPublication() {
    for (int wait = 0; wait < 2000 && ClusterPublishing(); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::vector<std::string> ErrorsNaming(std::int32_t team) const {
    std::vector<std::string> found;
    for (const std::string& line : Errors()) {
      if (line.find("team " + std::to_string(team)) != std::string::npos) {
        found.push_back(line);
      }
    }
    return found;
  }
};

const Counts kLimits{50, 10, 5};

// Seven kinds of stored value that no script may take for a count.
class BadValues : public ClusterInvariants, public ::testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Kinds, BadValues,
                         ::testing::Values("abc", "1.5", "-3", "99999999999999999999", "", "0x10",
                                           "wrong type"));

TEST_P(BadValues, InThisGridsContributionTheTeamIsJudgedHereAndTheNextRecountWritesOverIt) {
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3001, kWalls, kLimits);
  Place(alice_, kWall);
  Spoil(ContributionKey("A1", 3001), GetParam());
  const auto before = Dump();

  EXPECT_NE(Place(alice_, kWall).actor, nullptr) << "judged by this grid's 1 wall";
  EXPECT_EQ(Dump(), before) << "the script wrote nothing";
  EXPECT_THAT(ErrorsNaming(3001), ElementsAre(HasSubstr("not")));
  EXPECT_TRUE(ClusterUp()) << "the team's problem, not the link's";
  EXPECT_THAT(Warnings(), IsEmpty());

  // Republished four times: the aggregate is the sum, not 2 more each time.
  RecountAndSettle(4);
  EXPECT_EQ(Aggregate(3001), (Counts{3, 0, 3}));
  ExpectAggregatesAreTheSums();
  EXPECT_EQ(Place(alice_, kWall).actor, nullptr)
      << "judged by the cluster's 3 walls again, not this grid's 2";
  EXPECT_THAT(ErrorsNaming(3001), ::testing::SizeIs(1));
}

TEST_P(BadValues, InAnotherGridsContributionNoRecountChangesTheTeamAndOthersGoOn) {
  auto* bob = AddPlayer("Bob", 102, 3002);
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3001, kWalls, kLimits);
  Spoil(ContributionKey("B1", 3001), GetParam());
  Place(alice_, kWall);
  const auto before = Dump();
  RecountAndSettle(4);
  EXPECT_EQ(Dump(), before) << "no piece wrote part of the team";
  EXPECT_THAT(ErrorsNaming(3001),
              ElementsAre(AllOf(HasSubstr("B1"), HasSubstr("judged by this server's counts"))));
  EXPECT_TRUE(ClusterUp());
  EXPECT_THAT(Warnings(), IsEmpty());

  EXPECT_NE(Place(alice_, kWall).actor, nullptr);
  EXPECT_EQ(Local(3001), (Counts{2, 0, 2}));
  EXPECT_NE(Place(bob, kWall).actor, nullptr);
  EXPECT_EQ(Aggregate(3002), (Counts{1, 0, 1})) << "other teams are counted in the cluster";
}

TEST_F(ClusterInvariants, ScriptsThatReadTheAggregateWriteNothingAndAJoinRebuildsIt) {
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3001, kWalls, kLimits);
  Spoil(KeyNames(Settings("A1").name, "A1").Aggregate(3001), "abc");
  const auto before = Dump();
  EXPECT_FALSE(b1.Place(3001, kWalls, kLimits));
  b1.Remove(3001, kWalls);
  EXPECT_EQ(Dump(), before);
  const KeyNames keys(Settings("A1").name, "A1");
  RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
  const Reply join = connection.RunScript(Script::kJoin, JoinCall(keys, 3001, 5001, "", false));
  EXPECT_EQ(join->element[0]->integer, 0);
  EXPECT_EQ(Aggregate(5001), (Counts{1, 0, 1})) << "the sum of the contributions";
  ExpectAggregatesAreTheSums();
}

TEST_F(ClusterInvariants, AnExemptAdminsFirstStructureOfATeamIsCountedAtEveryField) {
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  auto* admin = AddPlayer("Admin", 103, 3005, true);
  EXPECT_NE(Place(admin, kWall).actor, nullptr);
  EXPECT_EQ(Aggregate(3005), (Counts{1, 0, 1}));
  EXPECT_THAT(Warnings(), IsEmpty());
}

TEST_F(ClusterInvariants, ATeamHashDeletedBehindTheGridsBackIsRebuiltByTheNextRecount) {
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3001, kWalls, kLimits);
  b1.Place(3001, kWalls, kLimits);
  Place(alice_, kWall);
  RecountAndSettle(1);
  Redis({"DEL", KeyNames(Settings("A1").name, "A1").Aggregate(3001)});
  RecountAndSettle(1);
  EXPECT_EQ(Aggregate(3001), (Counts{3, 0, 3})) << "this grid's counts did not change";
  EXPECT_EQ(Place(alice_, kWall).actor, nullptr) << "3 walls in the cluster again";
}

// Another grid's publication holds every slot: this one waits its turn.
TEST_F(ClusterInvariants, APublicationWaitsWhileOthersHoldEveryPublishingSlot) {
  Place(alice_, kWall);
  RecountAndSettle(1);
  const KeyNames keys(Settings("A1").name, "A1");
  for (int slot = 1; slot <= kPublishingSlots; ++slot) {
    Redis({"SET", keys.Prefix() + "publishing:" + std::to_string(slot), "another grid"});
  }
  Redis({"DEL", keys.Aggregate(3001)});
  Recount();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(ClusterPublishing());
  EXPECT_THAT(ClusterStatusLines(),
              Contains(HasSubstr("; one waits its turn behind another grid's")));
  EXPECT_EQ(Aggregate(3001), (Counts{0, 0, 0})) << "not rebuilt yet";
  Redis({"DEL", keys.Prefix() + "publishing:1"});
  AwaitPublication();
  EXPECT_EQ(Aggregate(3001), Local(3001));
}

// A team with thousands of counted fields (every blueprint of a large mod
// pack limited) is published, summed and moved.
TEST_F(ClusterInvariants, TeamsWithThousandsOfFieldsArePublishedAndMoved) {
  std::vector<std::string> fields;
  TeamCountPairs counts;
  for (std::uint32_t i = 0; i < 5000; ++i) {
    fields.push_back("b:/Game/Mod/Piece" + std::to_string(i));
    counts.emplace_back(i, 1);
  }
  RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
  for (const char* server : {"A1", "B1"}) {
    const KeyNames keys(Settings("A1").name, server);
    ContributionsByTeam own;
    own[7001] = counts;
    connection.RunScripts(Script::kReplace, ReplaceCalls(keys, fields, own, {}, 0, 100));
  }
  const KeyNames keys(Settings("A1").name, "A1");
  EXPECT_EQ(Redis({"HLEN", keys.Aggregate(7001)})->integer, 5000);
  EXPECT_EQ(std::string(Redis({"HGET", keys.Aggregate(7001), fields.back()})->str), "2");
  const Reply moved = connection.RunScript(Script::kJoin, JoinCall(keys, 7001, 7002, "", false));
  EXPECT_EQ(moved->element[0]->integer, 0);
  EXPECT_EQ(Redis({"HLEN", keys.Aggregate(7002)})->integer, 5000);
  EXPECT_EQ(Redis({"EXISTS", keys.Aggregate(7001)})->integer, 0);
}

// A publication whose snapshot was taken before a join leaves the joined
// teams as the join left them.
TEST_F(ClusterInvariants, AJoinHereWhileAnotherGridPublishesIsCountedOnce) {
  auto* carol = AddPlayer("Carol", 103, 3003);
  PutInTribe(alice_, 5001);
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3003, kWalls, kLimits);
  b1.Place(5001, kWalls, kLimits);
  const auto snapshot = b1.TakeSnapshot();
  ASSERT_TRUE(snapshot);

  EXPECT_TRUE(server().Invite(carol, alice_));
  ASSERT_TRUE(b1.Send(*snapshot));
  EXPECT_EQ(Aggregate(3003), (Counts{})) << "not sent back from before the join";
  EXPECT_EQ(Aggregate(5001), (Counts{2, 0, 2}));
  ExpectAggregatesAreTheSums();

  // Once B1's world follows the join, its recount agrees.
  b1.FollowJoin(3003, 5001);
  b1.Recount();
  EXPECT_EQ(Aggregate(5001), (Counts{2, 0, 2}));
  ExpectAggregatesAreTheSums();
}

TEST_F(ClusterInvariants, TeamsChangedHereDuringAPublicationAreSentAgainWhenItEnds) {
  ASSERT_TRUE(RecountTwentyThousandTeams())
      << "20,000 teams take longer than the game thread waits";
  auto* bob = AddPlayer("Bob", 102, 29999);
  auto* carol = AddPlayer("Carol", 103, 20000);
  auto* dave = AddPlayer("Dave", 104, 10001);
  PutInTribe(dave, 10001);
  Place(bob, kFoundation);
  EXPECT_TRUE(server().Invite(carol, dave));
  // No call of this grid between here and the checks: the publisher ends it.
  for (int i = 0; i < 4000 && ClusterPublishing(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const std::int32_t team : {29999, 20000, 10001, 15000}) {
    EXPECT_EQ(Aggregate(team), Local(team)) << team;
  }
  ExpectAggregatesAreTheSums();
}

// Judging a join and moving it are one script.
TEST_F(ClusterInvariants, TwoJoinsIntoOneTribeOnTwoGridsAtOnceCannotBothPass) {
  PeerServer b1(Settings("B1"), "B1");
  PeerServer c1(Settings("C1"), "C1");
  for (int i = 0; i < 2; ++i) {
    b1.Place(5001, kWalls, kLimits);
    c1.Place(3002, kWalls, kLimits);
  }
  for (int i = 0; i < 3; ++i) {
    b1.Place(3001, kWalls, kLimits);
  }
  std::optional<bool> on_b1;
  std::optional<bool> on_c1;
  std::thread b1_joins([&] { on_b1 = b1.Join(3001, 5001, kLimits); });
  on_c1 = c1.Join(3002, 5001, kLimits);
  b1_joins.join();
  ASSERT_TRUE(on_b1 && on_c1);
  EXPECT_NE(*on_b1, *on_c1) << "2 + 3 + 2 walls against 5";
  EXPECT_LE(Aggregate(5001)[kWalls], 5);
  ExpectAggregatesAreTheSums();
}

TEST_F(ClusterInvariants, ARefusedJoinNamesTheLimitAndAJoinTheGameRefusedMovesBack) {
  PutInTribe(alice_, 5001);
  Spawn(kWall, 5001, 3);
  RecountAndSettle(1);
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3002, kWalls, kLimits);
  b1.Place(3002, kWalls, kLimits);
  b1.Place(3003, kWalls, kLimits);

  const auto refused = ClusterJoin(3002, 5001);
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->allowed) << "3 + 2 walls against 3";
  EXPECT_EQ(refused->refused_at, std::optional<std::uint32_t>(kWalls));

  const Counts tribe = Aggregate(5001);
  const auto allowed = ClusterJoin(3003, 6001);
  ASSERT_TRUE(allowed && allowed->allowed);
  EXPECT_EQ(Aggregate(6001), (Counts{1, 0, 1}));
  ClusterUnjoin(3003, 6001, allowed->moved);
  EXPECT_EQ(Aggregate(3003), (Counts{1, 0, 1}));
  EXPECT_EQ(Aggregate(6001), (Counts{}));
  EXPECT_EQ(Aggregate(5001), tribe);
  ExpectAggregatesAreTheSums();
}

TEST_F(ClusterInvariants, AJoinTheGameRefusesLeavesEveryGridsCountsAsTheyWere) {
  auto* carol = AddPlayer("Carol", 103, 3003);
  PutInTribe(alice_, 5001);
  Spawn(kWall, 3003);
  RecountAndSettle(1);
  PeerServer b1(Settings("B1"), "B1");
  b1.Place(3003, kWalls, kLimits);
  b1.Place(5001, kWalls, kLimits);
  world().refuse_tribe_joins = 1;
  EXPECT_FALSE(server().Invite(carol, alice_));
  EXPECT_EQ(Aggregate(3003), (Counts{2, 0, 2}));
  EXPECT_EQ(Aggregate(5001), (Counts{1, 0, 1}));
  EXPECT_EQ(Contribution("A1", 3003), Local(3003));
  EXPECT_EQ(Contribution("B1", 3003), (Counts{1, 0, 1}));
  ExpectAggregatesAreTheSums();

  EXPECT_TRUE(server().Invite(carol, alice_));
  EXPECT_EQ(Aggregate(5001), (Counts{3, 0, 3}));
  EXPECT_EQ(Contribution("A1", 5001), Local(5001));
}

}  // namespace
}  // namespace cairnward::testing
