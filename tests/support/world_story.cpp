#include "support/world_story.h"

#include "standin/memory.h"
#include "support/stdout_capture.h"

namespace cairnward::testing {

std::string BlueprintPath(const std::string& object_path) {
  return "Blueprint'" + object_path + "'";
}

std::u16string BlueprintPath16(const std::string& object_path) {
  return std::u16string(u"Blueprint'") + std::u16string(object_path.begin(), object_path.end()) +
         u"'";
}

void WorldStory::TearDown() {
  // A test that stopped half-way through an injected failure leaves none behind.
  standin::FailAllocations(0, 0);
  ForgetPluginState();
  PluginTest::TearDown();
}

void WorldStory::Limit(const std::string& object_path, std::int32_t count) {
  config_["Structures"][BlueprintPath(object_path)]["Count"] = count;
}

std::vector<standin::SimActor*> WorldStory::Spawn(const std::string& object_path, std::int32_t team,
                                                  int count) {
  standin::SimClass* cls = world().BlueprintClass(object_path);
  std::vector<standin::SimActor*> spawned;
  for (int i = 0; i < count; ++i) {
    spawned.push_back(world().SpawnActor(cls, team));
  }
  return spawned;
}

standin::SimActor* WorldStory::SpawnNonStructure(const std::string& object_path,
                                                 std::int32_t team) {
  return world().SpawnActor(world().BlueprintClass(object_path, /*structure=*/false), team);
}

standin::SimPlayerController* WorldStory::AddPlayer(const std::string& name, std::uint64_t steam_id,
                                                    std::int32_t team, bool admin) {
  standin::SimPlayerController* player = world().AddPlayer(name, steam_id, team);
  if (admin) {
    server().AddToGroup(steam_id, u"Admins");
  }
  return player;
}

void WorldStory::PutInTribe(standin::SimPlayerController* player, std::int32_t tribe_id) {
  standin::SimPlayerState* state = player->player_state;
  state->in_tribe = true;
  state->current_tribe_data = world().TribeById(tribe_id);
  state->targeting_team = tribe_id;
  player->targeting_team = tribe_id;
  if (player->character != nullptr) {
    player->character->targeting_team = tribe_id;
  }
}

AShooterPlayerController* WorldStory::AsPlayer(standin::SimPlayerController* player) {
  return standin::AsGame<AShooterPlayerController>(player);
}

AShooterPlayerState* WorldStory::StateOf(standin::SimPlayerController* player) {
  return standin::AsGame<AShooterPlayerState>(player->player_state);
}

std::vector<standin::Delivery> WorldStory::Received(const standin::SimPlayerController* player) {
  std::vector<standin::Delivery> received;
  for (const auto& delivery : server().Deliveries()) {
    if (delivery.player == player->player_name) {
      received.push_back(delivery);
    }
  }
  return received;
}

std::vector<std::string> WorldStory::TraceOf(const std::function<void()>& act) {
  StdoutCapture capture;
  act();
  return capture.Lines();
}

}  // namespace cairnward::testing
