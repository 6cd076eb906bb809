#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "api/fmemory.h"
#include "api/game_members.h"
#include "standin/live_objects.h"
#include "standin/memory.h"
#include "standin/strict.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using ::testing::HasSubstr;

class Strictness : public PluginTest {};

TEST_F(Strictness, UnknownFunctionAndFieldNamesAreLoud) {
  EXPECT_THROW(GetAddress("AActor.Teleport"), standin::HostViolation);
  auto* wall = world().SpawnActor(world().BlueprintClass("/Game/Structures/Wall.Wall"), 1001);
  EXPECT_THROW(GetAddress(wall, "AActor.Health"), standin::HostViolation);
  const auto seen = TakeViolations();
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_THAT(seen[0], HasSubstr("unknown game function \"AActor.Teleport\""));
  EXPECT_THAT(seen[1], HasSubstr("unknown game field \"AActor.Health\""));
}

TEST_F(Strictness, FieldsAnswerOnlyForLiveObjectsOfTheirKind) {
  auto* wall = world().SpawnActor(world().BlueprintClass("/Game/Structures/Wall.Wall"), 1001);
  EXPECT_EQ(FieldOf(wall, game::kTargetingTeam), 1001);
  EXPECT_THROW(FieldOf(wall, game::kPersistentLevel), standin::HostViolation);
  int not_an_object = 0;
  EXPECT_THROW(FieldOf(&not_an_object, game::kTargetingTeam), standin::HostViolation);
  world().RemoveActor(wall);
  EXPECT_THROW(FieldOf(wall, game::kTargetingTeam), standin::HostViolation);
  EXPECT_EQ(TakeViolations().size(), 3U);
}

// Only the address where a live object starts is one: not a place inside
// it, not one freed, however many objects there are.
TEST_F(Strictness, OnlyTheStartOfALiveObjectIsALiveObject) {
  auto* cls = world().BlueprintClass("/Game/Structures/Wall.Wall");
  std::vector<standin::SimActor*> walls;
  walls.reserve(5000);
  for (int i = 0; i < 5000; ++i) {
    walls.push_back(world().SpawnActor(cls, 1001));
  }
  for (std::size_t i = 0; i < walls.size(); i += 3) {
    world().RemoveActor(walls[i]);
  }
  for (std::size_t i = 0; i < walls.size(); ++i) {
    EXPECT_EQ(standin::FindLive(walls[i]) != nullptr, i % 3 != 0) << "wall " << i;
  }
  const auto* inside = reinterpret_cast<const char*>(walls[1]);
  EXPECT_EQ(standin::FindLive(inside + 8), nullptr);
  EXPECT_EQ(standin::FindLive(inside + 1), nullptr);
  EXPECT_EQ(standin::FindLive(&walls[1]->targeting_team), nullptr);
}

// Plug-ins resolve a field's offset once and use it for every object that
// has the field, as the game's fields allow.
TEST_F(Strictness, AFieldLiesAtOneOffsetInEveryObjectThatHasIt) {
  auto* player = world().AddPlayer("Ann", 76561198000000001, 1001);
  const std::vector<const standin::SimObject*> actors = {
      world().SpawnActor(world().BlueprintClass("/Game/Structures/Wall.Wall"), 1001),
      world().GameMode(), player, player->player_state, player->character};
  const auto offset = [](const standin::SimObject* object, const char* field) {
    return static_cast<const char*>(GetAddress(object, field)) -
           reinterpret_cast<const char*>(object);
  };
  for (const auto* actor : actors) {
    EXPECT_EQ(offset(actor, game::kTargetingTeam.name),
              offset(actors[0], game::kTargetingTeam.name));
    EXPECT_EQ(offset(actor, game::kClass.name), offset(world().Level(), game::kClass.name));
  }
  EXPECT_EQ(offset(player, game::kPlayerState.name),
            offset(world().Make<standin::SimController>(), game::kPlayerState.name));
}

TEST_F(Strictness, DoubleFreeAndForeignBlocksAreLoud) {
  void* block = FMemory::Malloc(32);
  FMemory::Free(block);
  EXPECT_THROW(FMemory::Free(block), standin::HostViolation);
  int local = 0;
  EXPECT_THROW(FMemory::Free(&local), standin::HostViolation);
  EXPECT_EQ(TakeViolations().size(), 2U);
}

TEST_F(Strictness, TheFixtureSeesALeakedBlock) {
  const auto before = standin::Memory().live_blocks;
  void* block = FMemory::Malloc(8);
  EXPECT_EQ(standin::Memory().live_blocks, before + 1);
  FMemory::Free(block);
}

TEST_F(Strictness, DestroyedActorsLeaveANullSlotInTheLevel) {
  auto* cls = world().BlueprintClass("/Game/Structures/Wall.Wall");
  auto* first = world().SpawnActor(cls, 1001);
  world().SpawnActor(cls, 1002);
  world().RemoveActor(first);
  const auto& actors = FieldOf(world().Level(), game::kActors);
  ASSERT_EQ(actors.Num(), 2);
  EXPECT_EQ(actors.Data[0], nullptr);
  EXPECT_NE(actors.Data[1], nullptr);
}

TEST_F(Strictness, BlueprintClassesFollowTheGamesNaming) {
  auto* cls = world().BlueprintClass("/Game/Structures/Wall.Wall");
  auto* wall = AsGame<UObjectBaseUtility>(world().SpawnActor(cls, 1001));
  auto* cdo = Resolve(game::kGetDefaultObject)(AsGame<UClass>(cls), true);
  FString name;
  Resolve(game::kGetFullName)(cdo, &name, nullptr);
  EXPECT_EQ(name.View(), u"Wall_C /Game/Structures/Wall.Default__Wall_C");
  EXPECT_TRUE(Resolve(game::kIsA)(wall, Resolve(game::kStructureStaticClass)()));
  auto* dodo = world().SpawnActor(world().BlueprintClass("/Game/Dinos/Dodo.Dodo", false), 0);
  EXPECT_FALSE(Resolve(game::kIsA)(AsGame<UObjectBaseUtility>(dodo),
                                   Resolve(game::kStructureStaticClass)()));
}

}  // namespace
}  // namespace cairnward::testing
