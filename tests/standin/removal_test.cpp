#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/game_members.h"
#include "standin/game_actions.h"
#include "standin/game_story.h"
#include "standin/live_objects.h"

namespace cairnward::testing {
namespace {

using standin::SimActor;
using standin::StructuresOf;
using standin::Via;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using DieFn = bool (*)(APrimalStructure*, float, FDamageEvent*, AController*, AActor*);
using DestroyedFn = void (*)(APrimalStructure*);
DieFn die_original = nullptr;
DestroyedFn destroyed_original = nullptr;
std::vector<std::int32_t> teams_seen_by_destroyed;
bool level_held_structure_at_destroyed = false;

bool RefusingDieHook(APrimalStructure*, float, FDamageEvent*, AController*, AActor*) {
  return false;
}

void InspectingDestroyedHook(APrimalStructure* structure) {
  auto* live = static_cast<SimActor*>(standin::FindLive(structure));
  ASSERT_NE(live, nullptr);
  teams_seen_by_destroyed.push_back(live->targeting_team);
  const auto& slots = standin::Server::Current().GetWorld().Level()->slots;
  level_held_structure_at_destroyed =
      std::find(slots.begin(), slots.end(), AsGame<AActor>(live)) != slots.end();
  destroyed_original(structure);
}

// A structure killed or demolished, as the game removes it.
using Removal = GameStory;

TEST_F(Removal, DieThenDestroyedThenTheSlotIsNull) {
  auto* foundation = Spawn(kFoundation, kAliceOwn);
  auto* wall = Spawn(kWall, kAliceOwn);
  const auto id = wall->id;

  EXPECT_TRUE(server().Destroy(wall, Via::kDie, bob_));

  EXPECT_THAT(world().original_calls,
              ElementsAre("APrimalStructure.Die", "APrimalStructure.Destroyed"));
  EXPECT_THAT(world().Level()->slots, ElementsAre(AsGame<AActor>(foundation), nullptr));
  EXPECT_EQ(world().Level()->actors.ArrayNum, 2);
  EXPECT_EQ(world().FindById(id), nullptr);
}

TEST_F(Removal, DemolishThenDestroyed) {
  auto* wall = Spawn(kWall, kBobOwn);
  EXPECT_TRUE(server().Destroy(wall, Via::kDemolish, bob_));
  EXPECT_THAT(world().original_calls,
              ElementsAre("APrimalStructure.Demolish", "APrimalStructure.Destroyed"));
  EXPECT_THAT(world().Level()->slots, ElementsAre(nullptr));
}

TEST_F(Removal, SeveralInTurnReportTheIdsRemoved) {
  auto* a = Spawn(kWall, kAliceOwn);
  auto* b = Spawn(kWall, kAliceOwn);
  const std::vector<std::uint64_t> ids{a->id, b->id};
  EXPECT_EQ(server().Destroy({a, b}, Via::kDemolish), ids);
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), IsEmpty());
}

TEST_F(Removal, DestroyedRunsWhileTheStructureIsStillInTheLevelWithItsTeam) {
  teams_seen_by_destroyed.clear();
  level_held_structure_at_destroyed = false;
  server().Hooks().SetHook(game::kDestroyed.name, &InspectingDestroyedHook, &destroyed_original);
  server().Destroy(Spawn(kWall, 1001), Via::kDie);
  EXPECT_THAT(teams_seen_by_destroyed, ElementsAre(1001));
  EXPECT_TRUE(level_held_structure_at_destroyed);
}

TEST_F(Removal, ADeathThatDoesNotHappenKeepsTheStructure) {
  server().Hooks().SetHook(game::kDie.name, &RefusingDieHook, &die_original);
  auto* wall = Spawn(kWall, kAliceOwn);
  EXPECT_FALSE(server().Destroy(wall, Via::kDie));
  EXPECT_THAT(world().original_calls, IsEmpty());
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), ElementsAre(wall));
}

TEST_F(Removal, SomethingThatIsNotALiveStructureIsRefused) {
  auto* wall = Spawn(kWall, kAliceOwn);
  server().Destroy(wall, Via::kDie);
  EXPECT_THROW(server().Destroy(wall, Via::kDie), std::invalid_argument);
  EXPECT_THROW(server().Destroy(alice_, Via::kDie), std::invalid_argument);
}

using InitGameFn = void (*)(AShooterGameMode*, FString*, FString*, FString*);
InitGameFn init_original = nullptr;
std::vector<std::u16string> init_hook_maps;

void RecordingInitHook(AShooterGameMode* mode, FString* map, FString* options, FString* error) {
  init_hook_maps.emplace_back(map->View());
  init_original(mode, map, options, error);
}

using GameMode = PluginTest;

TEST_F(GameMode, StartingRunsInitGameOnTheGameModeThroughTheReplacement) {
  init_hook_maps.clear();
  server().StartGameMode();
  EXPECT_THAT(world().original_calls, ElementsAre("AShooterGameMode.InitGame"));
  server().Hooks().SetHook(game::kInitGame.name, &RecordingInitHook, &init_original);
  server().StartGameMode();
  EXPECT_THAT(init_hook_maps, ElementsAre(u"Ocean"));
  EXPECT_EQ(world().original_calls.size(), 2U);
}

}  // namespace
}  // namespace cairnward::testing
