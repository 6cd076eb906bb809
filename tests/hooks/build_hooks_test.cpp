#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/game_members.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using standin::RefusedBy;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class BuildHook : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001);
    bob_ = AddPlayer("Bob", 76561198000000002ULL, 2002);
  }
  standin::SimPlayerController* alice_ = nullptr;
  standin::SimPlayerController* bob_ = nullptr;
};

TEST_F(BuildHook, AllowedFinalPlacementIsCountedOnceAndAimingCountsNothing) {
  const auto result = Place(alice_, kWall);
  EXPECT_EQ(result.refused_by, RefusedBy::kNone);
  EXPECT_EQ(result.answer, 1);
  EXPECT_THAT(result.aim_answers, ElementsAre(1, 1));
  EXPECT_EQ(CountOf(kWall, 2001), 1);
  EXPECT_EQ(TeamTotal(2001), 1);
  Place(alice_, kCeiling);  // not configured: only the total
  EXPECT_EQ(TeamTotal(2001), 2);
}

TEST_F(BuildHook, OverTheLimitIsRefusedNotifiedToThePlacerAndNotCounted) {
  Spawn(kWall, 2001, 3);
  Recount();
  const auto result = Place(alice_, kWall);
  EXPECT_EQ(result.refused_by, RefusedBy::kPlugin);
  EXPECT_EQ(result.actor, nullptr);
  EXPECT_EQ(CountOf(kWall, 2001), 3);
  EXPECT_EQ(TeamTotal(2001), 3);
  EXPECT_FALSE(Flagged(2001));
  const auto shown = Received(alice_);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, u"You have reached the limit for this structure");
  EXPECT_FLOAT_EQ(shown[0].color.R, 1.0F);
  EXPECT_TRUE(Received(bob_).empty());
  // Another blueprint is still allowed: a refusal locks nothing.
  EXPECT_EQ(Place(alice_, kFoundation).refused_by, RefusedBy::kNone);
}

TEST_F(BuildHook, TheGamesRefusalStandsUncountedAndAnyAllowIsOne) {
  EXPECT_EQ(server().Place(alice_, kWall, {.game_allows = false}).refused_by, RefusedBy::kGame);
  EXPECT_EQ(TeamTotal(2001), 0);
  EXPECT_TRUE(Received(alice_).empty());
  const auto result = server().Place(alice_, kWall, {.game_answer = 7});
  EXPECT_EQ(result.answer, 1);
  EXPECT_THAT(result.aim_answers, ElementsAre(1, 1));
  EXPECT_EQ(TeamTotal(2001), 1);
}

TEST_F(BuildHook, C4ChargesInAnyCaseAreNeitherJudgedNorCountedNorUncounted) {
  MaxAmount(0);  // everything else would be refused
  Configure();
  for (const char* path : {"/Game/Weapons/C4Charge.C4Charge", "/Game/Weapons/c4CHARGE.c4CHARGE"}) {
    const auto result = Place(alice_, path);
    ASSERT_EQ(result.refused_by, RefusedBy::kNone) << path;
    EXPECT_EQ(TeamTotal(2001), 0);
    server().Destroy(result.actor, standin::Via::kDie);
  }
  EXPECT_EQ(TeamTotal(2001), 0);
  EXPECT_TRUE(Received(alice_).empty());
}

TEST_F(BuildHook, NullControllerAndTeamZeroAreNotChecked) {
  MaxAmount(0);
  Configure();
  EXPECT_EQ(Place(nullptr, kWall).refused_by, RefusedBy::kNone);
  auto* loner = AddPlayer("Loner", 5, 0);
  EXPECT_EQ(Place(loner, kWall).refused_by, RefusedBy::kNone);
  EXPECT_TRUE(TeamTotals().empty() || TeamTotal(0) == 0);
}

TEST_F(BuildHook, RemovalLowersTheCountOfTeamsAbove1000Only) {
  auto counted = Spawn(kWall, 1001, 2);
  auto uncounted = Spawn(kWall, 1000, 1);
  Recount();
  EXPECT_TRUE(server().Destroy(counted[0], standin::Via::kDemolish));
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  Debug(true);
  Configure();
  const auto trace = TraceOf([&] { server().Destroy(uncounted[0], standin::Via::kDie); });
  EXPECT_THAT(trace, ElementsAre("| Hook_APrimalStructure_Die: Starts",
                                 "_________________________________________", "|", "|",
                                 "| Hook_APrimalStructure_Destroyed", "|", "|",
                                 "|________________________________________", "|",
                                 "| Hook_APrimalStructure_Destroyed: team_id: 1000", "|"));
  EXPECT_EQ(CountOf(kWall, 1000), 0);
}

TEST_F(BuildHook, AConfigOfTheWrongShapeLeavesTheGamesAnswerAndOneErrorLine) {
  Config()["Structures"][BlueprintPath(kWall)]["Count"] = "three";
  Configure();
  Recount();
  const auto result = Place(alice_, kWall);
  EXPECT_EQ(result.refused_by, RefusedBy::kNone);
  const auto errors = PluginLogLines(spdlog::level::err);
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_THAT(errors[0], HasSubstr("Hook_APrimalStructure_IsAllowedToBuild: "));
  EXPECT_THAT(errors[0], HasSubstr("type must be number, but is string"));
}

TEST_F(BuildHook, ABrokenRefusalMessageStillRefuses) {
  Config()["Messages"]["ReachLimit"] = "limit {}";
  Configure();
  Spawn(kWall, 2001, 3);
  Recount();
  EXPECT_EQ(Place(alice_, kWall).refused_by, RefusedBy::kPlugin);
  EXPECT_EQ(PluginLogLines(spdlog::level::err).size(), 1U);
  EXPECT_EQ(CountOf(kWall, 2001), 3);
}

TEST_F(BuildHook, GameModeStartRunsTheGameFirstThenRecounts) {
  Spawn(kWall, 2001, 2);
  EXPECT_EQ(CountOf(kWall, 2001), 0);
  server().StartGameMode();
  EXPECT_THAT(world().original_calls, ElementsAre("AShooterGameMode.InitGame"));
  EXPECT_EQ(CountOf(kWall, 2001), 2);
}

TEST_F(BuildHook, DeathAndDemolitionPassThroughAndChangeNoCount) {
  auto walls = Spawn(kWall, 2001, 1);
  Recount();
  auto* wall = AsGame<APrimalStructure>(walls[0]);
  EXPECT_TRUE(server().Hooks().Entry(game::kDie)(wall, 10.0F, nullptr, nullptr, nullptr));
  EXPECT_TRUE(server().Hooks().Entry(game::kDemolish)(wall, nullptr, nullptr));
  EXPECT_THAT(world().original_calls,
              ElementsAre("APrimalStructure.Die", "APrimalStructure.Demolish"));
  EXPECT_EQ(CountOf(kWall, 2001), 1);
}

}  // namespace
}  // namespace cairnward::testing
