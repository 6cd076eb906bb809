#pragma once

#include <cstdint>

#include "standin/game_actions.h"
#include "standin/objects.h"
#include "standin/world.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {

// The cast of the game side's tests, which run without the plug-in: four
// players with their own team ids, and tribe ids well apart from them.
inline constexpr std::int32_t kAliceOwn = 2001;
inline constexpr std::int32_t kBobOwn = 2002;
inline constexpr std::int32_t kCarolOwn = 2003;
inline constexpr std::int32_t kDaveOwn = 2004;
inline constexpr std::int32_t kRed = 5001;
inline constexpr std::int32_t kBlue = 5002;

class GameStory : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    alice_ = world().AddPlayer("Alice", 76561198000000001ULL, kAliceOwn);
    bob_ = world().AddPlayer("Bob", 76561198000000002ULL, kBobOwn);
    carol_ = world().AddPlayer("Carol", 76561198000000003ULL, kCarolOwn);
    dave_ = world().AddPlayer("Dave", 76561198000000004ULL, kDaveOwn);
  }

  standin::SimActor* Spawn(const char* path, std::int32_t team) {
    return world().SpawnActor(world().BlueprintClass(path), team);
  }

  standin::SimPlayerController* alice_ = nullptr;
  standin::SimPlayerController* bob_ = nullptr;
  standin::SimPlayerController* carol_ = nullptr;
  standin::SimPlayerController* dave_ = nullptr;
};

// Every place the game keeps a player's team must agree.
inline void ExpectTeam(const standin::SimPlayerController* player, std::int32_t team) {
  EXPECT_EQ(standin::TeamOf(player), team) << player->player_name;
  EXPECT_EQ(player->targeting_team, team) << player->player_name;
  EXPECT_EQ(player->player_state->targeting_team, team) << player->player_name;
  ASSERT_NE(player->character, nullptr);
  EXPECT_EQ(player->character->targeting_team, team) << player->player_name;
}

inline void ExpectInTribe(const standin::SimPlayerController* player, std::int32_t tribe) {
  EXPECT_TRUE(player->player_state->in_tribe) << player->player_name;
  ASSERT_NE(player->player_state->current_tribe_data, nullptr) << player->player_name;
  EXPECT_EQ(player->player_state->current_tribe_data->tribe_id, tribe) << player->player_name;
  ExpectTeam(player, tribe);
}

}  // namespace cairnward::testing
