#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "accounting/group_counts.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using standin::RefusedBy;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kCannon = "/Game/Structures/Cannon.Cannon";
constexpr const char* kBallista = "/Game/Structures/Ballista.Ballista";

// Defence: Cannon and Ballista, 5 together; Turrets: Cannon (no "Structures"
// entry) and Wall (limit 3 of its own), 4 together. The story's file has them
// in that order.
class SharedLimits : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    Config()["Groups"] =
        Json::parse(R"({
      "Turrets": {"Name": "Turrets", "Count": 4, "Blueprints": [")" +
                    BlueprintPath(kCannon) + R"(", ")" + BlueprintPath(kWall) + R"("]},
      "Defence": {"Name": "Defence", "Count": 5, "Blueprints": [")" +
                    BlueprintPath(kCannon) + R"(", ")" + BlueprintPath(kBallista) +
                    R"("]}
    })");
    Reload();
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001);
    bob_ = AddPlayer("Bob", 76561198000000002ULL, 2002);
  }

  void Reload() {
    Configure();
    Recount();
  }

  static constexpr std::size_t kDefence = 0;
  static constexpr std::size_t kTurrets = 1;

  // The team's count of a group, by its place in the file.
  static std::int32_t GroupCountOf(std::size_t group, std::int32_t team) {
    const GroupTally* tally = CountedGroups();
    return tally != nullptr ? GroupCount(*tally, group, team) : -1;
  }

  standin::SimPlayerController* alice_ = nullptr;
  standin::SimPlayerController* bob_ = nullptr;
};

TEST_F(SharedLimits, MembersCountTogetherAndAGroupAtItsCountRefusesEveryMember) {
  Spawn(kCannon, 2001, 2);
  Spawn(kWall, 2001);
  Recount();
  EXPECT_EQ(GroupCountOf(kTurrets, 2001), 3);
  EXPECT_EQ(GroupCountOf(kDefence, 2001), 2);
  EXPECT_EQ(CountOf(kCannon, 2001), -1);  // no ledger entry of its own

  EXPECT_EQ(Place(alice_, kCannon).refused_by, RefusedBy::kNone);
  EXPECT_EQ(GroupCountOf(kTurrets, 2001), 4);
  EXPECT_EQ(GroupCountOf(kDefence, 2001), 3);
  // Turrets is full: a wall is refused although its own limit has room.
  EXPECT_EQ(Place(alice_, kWall).refused_by, RefusedBy::kPlugin);
  EXPECT_EQ(Place(alice_, kBallista).refused_by, RefusedBy::kNone);  // only in Defence
  EXPECT_EQ(Place(bob_, kCannon).refused_by, RefusedBy::kNone);      // counts are per team

  server().Destroy(standin::StructuresOf(world(), 2001).front(), standin::Via::kDie);
  EXPECT_EQ(GroupCountOf(kTurrets, 2001), 3);
  EXPECT_EQ(Place(alice_, kWall).refused_by, RefusedBy::kNone);
}

TEST_F(SharedLimits, ATeamAboveAGroupMayPlaceNothingAndJoinsAreJudgedByTheGroupToo) {
  Spawn(kCannon, 2001, 5);
  Recount();
  EXPECT_TRUE(Flagged(2001));
  EXPECT_EQ(Place(alice_, kCeiling).refused_by, RefusedBy::kPlugin);

  // Bob's 2 and a tribe's 2: 4 is exactly the limit and passes; one more does not.
  auto* carol = AddPlayer("Carol", 76561198000000003ULL, 2003);
  auto* dave = AddPlayer("Dave", 76561198000000004ULL, 2004);
  PutInTribe(carol, 5001);
  Spawn(kCannon, 2002, 2);
  Spawn(kCannon, 5001, 2);
  Spawn(kWall, 2004);
  Recount();
  EXPECT_TRUE(server().Invite(bob_, carol));
  EXPECT_EQ(GroupCountOf(kTurrets, 5001), 4);
  EXPECT_EQ(GroupCountOf(kTurrets, 2002), 0);
  EXPECT_FALSE(server().Invite(dave, carol));
  EXPECT_EQ(GroupCountOf(kTurrets, 5001), 4);
}

TEST_F(SharedLimits, ATribesOwnLimitsReplaceOnlyWhatTheyName) {
  Config()["Teams"]["5001"] = {{"MaxAmount", 2}, {"Groups", {{"Turrets", 0}}}};
  Config()["Teams"]["2002"] = {{"Structures", {{BlueprintPath(kWall), 5}}},
                               {"Groups", {{"Turrets", 6}}}};
  Reload();
  Spawn(kWall, 2002, 3);
  Recount();
  EXPECT_EQ(Place(bob_, kWall).refused_by, RefusedBy::kNone);  // 4 of its own 5
  EXPECT_EQ(Place(alice_, kWall).refused_by, RefusedBy::kNone);
  EXPECT_EQ(Place(alice_, kFoundation).refused_by, RefusedBy::kNone);

  // The receiving tribe's limits judge a join: 5001 takes one turret only.
  auto* carol = AddPlayer("Carol", 76561198000000003ULL, 2003);
  PutInTribe(carol, 5001);
  EXPECT_FALSE(server().Invite(alice_, carol));
  auto* erin = AddPlayer("Erin", 76561198000000005ULL, 2005);
  Spawn(kCeiling, 2005, 3);
  Recount();
  EXPECT_FALSE(server().Invite(erin, carol));  // 3 above its total of 2
}

TEST_F(SharedLimits, OneWarningNamesTheLimitNearestToBeingReached) {
  Config()["General"]["WarnAtPercent"] = 50;
  Config()["General"]["MaxAmount"] = 8;
  Config()["Messages"]["NearLimitMsg"] = "{}: {}/{}";
  Config()["Messages"]["TotalName"] = "All";
  Reload();
  Place(alice_, kFoundation);  // 1/10, total 1/8: below half of each
  EXPECT_TRUE(Received(alice_).empty());
  Place(alice_, kWall);  // Wall 1/3, Turrets 1/4, total 2/8
  EXPECT_TRUE(Received(alice_).empty());
  Place(alice_, kWall);    // Wall 2/3 beats Turrets 2/4 and total 3/8
  Place(alice_, kCannon);  // Turrets 3/4 beats Defence 1/5 and total 4/8
  Spawn(kCeiling, 2001, 3);
  Recount();
  Place(alice_, kCeiling);  // total 8/8, the only limit it counts against
  const auto shown = Received(alice_);
  ASSERT_EQ(shown.size(), 3U);
  EXPECT_EQ(shown[0].text, u"Wall: 2/3");
  EXPECT_EQ(shown[1].text, u"Turrets: 3/4");
  EXPECT_EQ(shown[2].text, u"All: 8/8");
  EXPECT_FLOAT_EQ(shown[2].color.R, 1.0F);
  EXPECT_FLOAT_EQ(shown[2].scale, 1.5F);
}

// "ReachLimitMsg" and "AtLimitMsg" are opt-in: without them the texts are
// those above and in the build hook's tests.
TEST_F(SharedLimits, ReachLimitMsgNamesTheLimitThatRefusedAndTheTraceToo) {
  Config()["General"]["MaxAmount"] = 6;
  Config()["Messages"]["ReachLimitMsg"] = "{0} {1}/{2}";
  Config()["Messages"]["TotalName"] = "All";
  Debug(true);
  Spawn(kWall, 2001, 3);
  Spawn(kCannon, 2002, 4);
  Reload();
  std::vector<std::string> trace;
  const auto refuse = [&](standin::SimPlayerController* player, const char* blueprint) {
    trace = TraceOf([&] { EXPECT_EQ(Place(player, blueprint).refused_by, RefusedBy::kPlugin); });
    return Received(player).back().text;
  };
  EXPECT_EQ(refuse(alice_, kWall), u"Wall 3/3");  // its own limit, Turrets has room
  EXPECT_THAT(trace,
              ::testing::Contains(
                  "| APrimalStructure_IsAllowedToBuild: [LimitCheck]: Refused by Wall: 3/3"));
  EXPECT_EQ(refuse(bob_, kCannon), u"Turrets 4/4");  // a group before the blueprint
  Spawn(kCeiling, 2001, 3);
  Recount();
  EXPECT_EQ(refuse(alice_, kCeiling), u"All 6/6");  // the total before all else
  // A team above a limit is refused everything, by the limit it is above.
  Limit(kWall, 2);
  Config()["General"]["MaxAmount"] = 50;
  Reload();
  EXPECT_EQ(refuse(alice_, kFoundation), u"Wall 3/2");
  // A template that cannot be made still refuses, and says why in the log.
  Config()["Messages"]["ReachLimitMsg"] = "{3}";
  Reload();
  EXPECT_EQ(Place(alice_, kFoundation).refused_by, RefusedBy::kPlugin);
  EXPECT_THAT(Errors(), ::testing::Contains(HasSubstr("argument")));
}

TEST_F(SharedLimits, AWarningAtExactlyTheLimitReadsAtLimitMsgWhenGiven) {
  Config()["General"]["WarnAtPercent"] = 60;
  Config()["Messages"]["NearLimitMsg"] = "near {}: {}/{}";
  Config()["Messages"]["AtLimitMsg"] = "at {}: {}/{}";
  Reload();
  Place(alice_, kWall);
  Place(alice_, kWall);  // 2/3
  Place(alice_, kWall);  // 3/3
  const auto shown = Received(alice_);
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[0].text, u"near Wall: 2/3");
  EXPECT_EQ(shown[1].text, u"at Wall: 3/3");
}

TEST_F(SharedLimits, AWrongTypeRefusesTheFileAndAReloadKeepsThePreviousOne) {
  Config()["Groups"]["Turrets"]["Count"] = "four";
  WriteStoryConfig();
  try {
    ReadConfig();
    FAIL() << "read a group Count that is a string";
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), HasSubstr(R"("Groups" -> "Turrets": type must be number)"));
  }
  EXPECT_EQ(Limits().Groups().at(kTurrets).count, 4);
  Config()["Groups"]["Turrets"]["Count"] = 4;
  Config()["General"]["WarnAtPercent"] = 101;
  WriteStoryConfig();
  EXPECT_THROW(ReadConfig(), std::exception);
  Config()["General"].erase("WarnAtPercent");
  Config()["Teams"]["5001"]["Structures"] = Json::array({1});
  WriteStoryConfig();
  EXPECT_THROW(ReadConfig(), std::exception);
  EXPECT_EQ(GroupCountOf(kTurrets, 2001), 0);
}

TEST_F(SharedLimits, GroupsKeepTheOrderOfTheFileNotOfTheirNames) {
  std::istringstream text(R"({"General": {}, "Groups": {"Zeta": {}, "Alpha": {"Count": 1},
                               "Mid": {}, "Alpha": {"Count": 2}}})");
  const LoadedConfig loaded = ParseConfig(text);
  ASSERT_EQ(loaded.plan->Groups().size(), 3U);
  EXPECT_EQ(loaded.plan->Groups()[0].key, "Zeta");
  EXPECT_EQ(loaded.plan->Groups()[1].key, "Alpha");
  EXPECT_EQ(loaded.plan->Groups()[1].count, 2);  // the last one given, as for any member
  EXPECT_EQ(loaded.plan->Groups()[2].key, "Mid");
}

}  // namespace
}  // namespace cairnward::testing
