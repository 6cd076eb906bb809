#include <stdexcept>
#include <vector>

#include "api/game_members.h"
#include "standin/game_actions.h"
#include "standin/game_story.h"

namespace cairnward::testing {
namespace {

using standin::RefusedBy;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using BuildCheckFn = int (*)(APrimalStructure*, APlayerController*, FVector, FRotator,
                             FPlacementData*, bool, FRotator, bool, void*, void*);
BuildCheckFn build_original = nullptr;
std::vector<bool> hook_saw_final;
int final_answer_override = -1;

int RecordingBuildHook(APrimalStructure* structure, APlayerController* pc, FVector at,
                       FRotator rotation, FPlacementData* out, bool no_range, FRotator view,
                       bool final_placement, void* a, void* b) {
  hook_saw_final.push_back(final_placement);
  const int game =
      build_original(structure, pc, at, rotation, out, no_range, view, final_placement, a, b);
  return final_placement && final_answer_override >= 0 ? final_answer_override : game;
}

// A placement as the game makes it, and through a replacement of the build
// check.
using Placement = GameStory;

TEST_F(Placement, AimChecksAreNotFinalAndTheFinalOneSpawnsWithTheControllersTeam) {
  const auto result = server().Place(alice_, kWall, {.aim_calls = 3});

  ASSERT_NE(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kNone);
  EXPECT_EQ(result.answer, 1);
  EXPECT_THAT(result.aim_answers, ElementsAre(1, 1, 1));
  EXPECT_EQ(result.actor->targeting_team, kAliceOwn);
  EXPECT_EQ(result.actor->cls, world().BlueprintClass(kWall));
  EXPECT_THAT(world().Level()->slots, ElementsAre(AsGame<AActor>(result.actor)));

  const auto& checks = world().build_checks;
  ASSERT_EQ(checks.size(), 4U);
  for (std::size_t i = 0; i < checks.size(); ++i) {
    EXPECT_EQ(checks[i].final_placement, i == 3) << "check " << i;
    EXPECT_EQ(checks[i].structure, world().BlueprintClass(kWall)->default_object) << i;
    EXPECT_EQ(checks[i].controller, alice_) << i;
  }
}

TEST_F(Placement, BlueprintPathAndObjectPathNameTheSameClass) {
  const auto by_blueprint =
      server().Place(bob_, "Blueprint'/Game/Structures/Wall.Wall'", {.aim_calls = 0});
  ASSERT_NE(by_blueprint.actor, nullptr);
  EXPECT_EQ(by_blueprint.actor->cls, world().BlueprintClass(kWall));
  EXPECT_THAT(by_blueprint.aim_answers, IsEmpty());
  ASSERT_EQ(world().build_checks.size(), 1U);
  EXPECT_TRUE(world().build_checks[0].final_placement);
}

TEST_F(Placement, AGameRefusalSpawnsNothing) {
  Spawn(kFoundation, kAliceOwn);
  const auto result = server().Place(alice_, kWall, {.game_allows = false});
  EXPECT_EQ(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kGame);
  EXPECT_EQ(result.answer, 0);
  EXPECT_EQ(world().Level()->slots.size(), 1U);
  EXPECT_EQ(world().build_checks.size(), 3U);
  // The refusal was for that placement alone.
  EXPECT_NE(server().Place(alice_, kWall).actor, nullptr);
}

TEST_F(Placement, AnyNonZeroGameVerdictComesBackAsIsAndPlaces) {
  const auto result = server().Place(bob_, kWall, {.game_answer = 7, .aim_calls = 1});
  EXPECT_NE(result.actor, nullptr);
  EXPECT_EQ(result.answer, 7);
  EXPECT_THAT(result.aim_answers, ElementsAre(7));
}

TEST_F(Placement, ATribeMemberPlacesForHisTribeAndNoControllerMeansNoTeam) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  EXPECT_EQ(server().Place(alice_, kWall).actor->targeting_team, kRed);
  EXPECT_EQ(server().Place(nullptr, kWall).actor->targeting_team, 0);
  EXPECT_EQ(world().build_checks.back().controller, nullptr);
}

TEST_F(Placement, OnlyStructureClassesCanBePlaced) {
  EXPECT_THROW(server().Place(alice_, world().BlueprintClass("/Game/Dinos/Raptor.Raptor", false)),
               std::invalid_argument);
  EXPECT_THAT(world().build_checks, IsEmpty());
}

// The build check replaced by one that records each call and, when
// final_answer_override is set, answers that to the final one.
void ReplaceBuildCheck(standin::Server& server) {
  hook_saw_final.clear();
  final_answer_override = -1;
  server.Hooks().SetHook(game::kIsAllowedToBuild.name, &RecordingBuildHook, &build_original);
}

TEST_F(Placement, EveryCheckEntersTheReplacementFirst) {
  ReplaceBuildCheck(server());
  const auto result = server().Place(alice_, kWall, {.aim_calls = 2});
  EXPECT_NE(result.actor, nullptr);
  EXPECT_THAT(hook_saw_final, ElementsAre(false, false, true));
  EXPECT_EQ(world().build_checks.size(), 3U);
}

TEST_F(Placement, AReplacementAnsweringZeroRefusesWhatTheGameAllowed) {
  ReplaceBuildCheck(server());
  final_answer_override = 0;
  const auto result = server().Place(alice_, kWall);
  EXPECT_EQ(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kPlugin);
  EXPECT_THAT(world().Level()->slots, IsEmpty());
}

TEST_F(Placement, TheGamesRefusalIsStillTheGamesWhenTheReplacementAgrees) {
  ReplaceBuildCheck(server());
  final_answer_override = 0;
  EXPECT_EQ(server().Place(alice_, kWall, {.game_allows = false}).refused_by, RefusedBy::kGame);
}

}  // namespace
}  // namespace cairnward::testing
