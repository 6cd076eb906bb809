#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "api/game_members.h"
#include "reliability/figures.h"
#include "reliability/loaded_story.h"
#include "standin/memory.h"

namespace cairnward::testing {
namespace {

using standin::RefusedBy;

// Faults of the game, the host and the server folder around a loaded plug-in.
class FaultInjection : public LoadedStory {
 protected:
  void SetUp() override {
    LoadedStory::SetUp();
    bob_ = AddPlayer("Bob", 76561198000000002ULL, 2002);
    Spawn(kFoundation, 2002, 3);
    RconRecount();
  }

  std::u16string LimitsShownTo(standin::SimPlayerController* player) {
    EXPECT_TRUE(server().Chat(player, u"/limits"));
    return Received(player).back().text;
  }

  // What the plug-in kept equals what a recount finds, for both players.
  void ExpectCountsMatchTheWorld() {
    const std::u16string alice = LimitsShownTo(alice_);
    const std::u16string bob = LimitsShownTo(bob_);
    RconRecount();
    EXPECT_EQ(alice, LimitsShownTo(alice_));
    EXPECT_EQ(bob, LimitsShownTo(bob_));
  }

  void WriteWallLimit(int limit) {
    Limit(kWall, limit);
    WriteStoryConfig();
  }

  standin::SimPlayerController* bob_ = nullptr;
};

TEST_F(FaultInjection, AConfigFileThatChangesOrDisappearsBetweenReloads) {
  int cases = 0;
  WriteWallLimit(2);
  EXPECT_EQ(ConsoleReload(), u"Reloaded config");
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/2\nTotal: 2/100");

  std::filesystem::remove(ConfigFile());
  EXPECT_EQ(RconReload(), u"Can't open config.json");
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/2\nTotal: 2/100");
  ++cases;

  // Half written, as an editor saving over it at the moment of the reload.
  WriteWallLimit(4);
  const auto whole = std::filesystem::file_size(ConfigFile());
  std::filesystem::resize_file(ConfigFile(), whole / 3);
  EXPECT_EQ(ConsoleReload(), u"Failed to reload config");
  EXPECT_EQ(server().Place(alice_, kWall).refused_by, RefusedBy::kPlugin);
  ++cases;

  WriteWallLimit(4);
  EXPECT_EQ(RconReload(), u"Reloaded config");
  EXPECT_NE(server().Place(alice_, kWall).actor, nullptr);
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 3/4\nTotal: 3/100");
  ++cases;
  Tally("fault_cases", cases);
}

TEST_F(FaultInjection, TheGameTurnsDownTribeJoinsTheLimitsAllowed) {
  PutInTribe(alice_, 5001);
  RconRecount();
  int cases = 0;
  for (const auto& join :
       {+[](standin::Server&s, standin::SimPlayerController*joiner,
            standin::SimPlayerController*inviter) { return s.Invite(joiner, inviter); },
        +[](standin::Server&s, standin::SimPlayerController*joiner, standin::SimPlayerController*) {
          return s.CreateTribe(joiner, 5002);
        }}) {
    world().refuse_tribe_joins = 1;
    EXPECT_FALSE(join(server(), bob_, alice_));
    EXPECT_FALSE(bob_->player_state->in_tribe);
    ExpectCountsMatchTheWorld();
    ++cases;
  }
  // The next one the game carries out moves Bob's foundations with him.
  EXPECT_TRUE(server().Invite(bob_, alice_));
  EXPECT_EQ(LimitsShownTo(bob_), u"Foundation: 3/10\nWall: 0/3\nTotal: 3/100");
  ExpectCountsMatchTheWorld();
  Tally("fault_cases", cases);
}

TEST_F(FaultInjection, APlacementTheGameTurnsDownAfterTheHookAllowedItIsCorrectedByARecount) {
  // The hook counts a placement at the final check, the last it sees of it:
  // when nothing is built after all, the team's count is one too high, which
  // only ever refuses early, never lets a team past a limit, until the
  // next recount (game-mode start, UpdateStructures, reload) puts it right.
  world().refuse_placements = 1;
  EXPECT_EQ(server().Place(alice_, kWall).refused_by, RefusedBy::kGameAfterCheck);
  EXPECT_EQ(standin::StructuresOf(world(), 2001).size(), 2U);
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 3/3\nTotal: 3/100");
  RconRecount();
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/3\nTotal: 2/100");
  ExpectStartingLimitsHold();
  Tally("fault_cases", 1);
}

// Another plug-in's replacement of the same game functions, installed before
// Cairnward's, so that calls reach it after Cairnward's hooks.
namespace other_plugin {
decltype(Resolve(game::kIsAllowedToBuild)) original_build = nullptr;
decltype(Resolve(game::kDestroyed)) original_destroyed = nullptr;
int calls = 0;

int IsAllowedToBuild(APrimalStructure* structure, APlayerController* pc, FVector at,
                     FRotator rotation, FPlacementData* placement, bool no_range, FRotator view,
                     bool final_placement, void* a, void* b) {
  ++calls;
  return original_build(structure, pc, at, rotation, placement, no_range, view, final_placement, a,
                        b);
}

void Destroyed(APrimalStructure* structure) {
  ++calls;
  original_destroyed(structure);
}
}  // namespace other_plugin

TEST_F(FaultInjection, HooksRemovedAtUnloadAreNeverCalledAgain) {
  UnloadPlugin();
  auto& hooks = server().Hooks();
  hooks.SetHook(game::kIsAllowedToBuild.name, &other_plugin::IsAllowedToBuild,
                &other_plugin::original_build);
  hooks.SetHook(game::kDestroyed.name, &other_plugin::Destroyed, &other_plugin::original_destroyed);
  ASSERT_TRUE(LoadPlugin());
  // Cairnward's hooks lie above the other plug-in's now.
  EXPECT_NE(hooks.EntryAddress(game::kIsAllowedToBuild.name),
            reinterpret_cast<void*>(&other_plugin::IsAllowedToBuild));
  EXPECT_EQ(server().Place(alice_, kWall).refused_by, RefusedBy::kNone);
  EXPECT_EQ(server().Place(alice_, kWall).refused_by, RefusedBy::kPlugin);

  UnloadPlugin();
  // Every call goes past where Cairnward's code was, straight to the other
  // plug-in and on to the game: its library is gone, and a call into it
  // would be a crash.
  EXPECT_EQ(hooks.EntryAddress(game::kIsAllowedToBuild.name),
            reinterpret_cast<void*>(&other_plugin::IsAllowedToBuild));
  EXPECT_EQ(reinterpret_cast<void*>(other_plugin::original_build),
            GetAddress(game::kIsAllowedToBuild.name));
  EXPECT_EQ(reinterpret_cast<void*>(other_plugin::original_destroyed),
            GetAddress(game::kDestroyed.name));
  const int before = other_plugin::calls;
  for (int i = 0; i < 3; ++i) {
    standin::SimActor* wall = server().Place(alice_, kWall, {.aim_calls = 0}).actor;
    ASSERT_NE(wall, nullptr) << "no limit without the plug-in";
    EXPECT_TRUE(server().Destroy(wall, standin::Via::kDie));
  }
  EXPECT_EQ(other_plugin::calls, before + 6);
  server().StartGameMode();
  hooks.DisableHook(game::kIsAllowedToBuild.name, &other_plugin::IsAllowedToBuild);
  hooks.DisableHook(game::kDestroyed.name, &other_plugin::Destroyed);
  Tally("fault_cases", 1);
}

TEST_F(FaultInjection, LoadUnloadAndLoadAgainInOneProcessStartsFreshEachTime) {
  UnloadPlugin();
  const std::size_t blocks_unloaded = standin::Memory().live_blocks;
  int cycles = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(LoadPlugin()) << "round " << round;
    // What the loaded plug-in counts is the world as it is now.
    const std::size_t walls = standin::StructuresOf(world(), 2001).size();
    const std::string shown = "Foundation: 0/10\nWall: " + std::to_string(walls) +
                              "/3\nTotal: " + std::to_string(walls) + "/100";
    EXPECT_EQ(LimitsShownToAlice(), std::u16string(shown.begin(), shown.end()));
    ExpectCountsMatchTheWorld();
    UnloadPlugin();
    EXPECT_EQ(server().Commands().Count(), 0U);
    EXPECT_EQ(server().Hooks().Count(), 0U);
    // Everything the library held went with it.
    EXPECT_EQ(standin::Memory().live_blocks, blocks_unloaded) << "round " << round;
    // The world changes while no plug-in watches it.
    if (walls > 0) {
      server().Destroy(standin::StructuresOf(world(), 2001).front(), standin::Via::kDie);
    }
    ++cycles;
  }
  // A load that fails in between changes nothing for the next one.
  WriteConfigText("{");
  EXPECT_FALSE(LoadPlugin());
  WriteStoryConfig();
  ASSERT_TRUE(LoadPlugin());
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 0/3\nTotal: 0/100");
  Tally("fault_cases", cycles + 1);
}

}  // namespace
}  // namespace cairnward::testing
