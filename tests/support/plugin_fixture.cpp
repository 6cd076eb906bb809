#include "support/plugin_fixture.h"

#include "standin/memory.h"
#include "standin/strict.h"
#include "support/stdout_capture.h"

namespace cairnward::testing {

void PluginTest::SetUp() {
  harness_ = std::make_unique<harness::PluginHarness>(harness::HarnessOptions{
      .library = CAIRNWARD_PLUGIN_LIBRARY, .forget_plugin_state = [this] { ForgetPluginState(); }});
}

void PluginTest::TearDown() {
  // A test that stopped half-way through an injected failure leaves none behind.
  standin::FailAllocations(0, 0);
  for (const std::string& problem : harness_->Finish()) {
    ADD_FAILURE() << problem;
  }
}

void PluginTest::Limit(const std::string& object_path, std::int32_t count) {
  config_["Structures"][BlueprintPath(object_path)]["Count"] = count;
}

std::vector<standin::SimActor*> PluginTest::Spawn(const std::string& object_path, std::int32_t team,
                                                  int count) {
  standin::SimClass* cls = world().BlueprintClass(object_path);
  std::vector<standin::SimActor*> spawned;
  spawned.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    spawned.push_back(world().SpawnActor(cls, team));
  }
  return spawned;
}

standin::SimActor* PluginTest::SpawnNonStructure(const std::string& object_path,
                                                 std::int32_t team) {
  return world().SpawnActor(world().BlueprintClass(object_path, /*structure=*/false), team);
}

standin::SimPlayerController* PluginTest::AddPlayer(const std::string& name, std::uint64_t steam_id,
                                                    std::int32_t team, bool admin) {
  standin::SimPlayerController* player = world().AddPlayer(name, steam_id, team);
  if (admin) {
    server().AddToGroup(steam_id, u"Admins");
  }
  return player;
}

void PluginTest::PutInTribe(standin::SimPlayerController* player, std::int32_t tribe_id) {
  standin::SimPlayerState* state = player->player_state;
  state->in_tribe = true;
  state->current_tribe_data = world().TribeById(tribe_id);
  state->targeting_team = tribe_id;
  player->targeting_team = tribe_id;
  if (player->character != nullptr) {
    player->character->targeting_team = tribe_id;
  }
}

AShooterPlayerController* PluginTest::AsPlayer(standin::SimPlayerController* player) {
  return standin::AsGame<AShooterPlayerController>(player);
}

AShooterPlayerState* PluginTest::StateOf(standin::SimPlayerController* player) {
  return standin::AsGame<AShooterPlayerState>(player->player_state);
}

std::vector<standin::Delivery> PluginTest::Received(const standin::SimPlayerController* player) {
  std::vector<standin::Delivery> received;
  for (const auto& delivery : server().Deliveries()) {
    if (delivery.player == player->player_name) {
      received.push_back(delivery);
    }
  }
  return received;
}

std::vector<std::string> PluginTest::TraceOf(const std::function<void()>& act) {
  StdoutCapture capture;
  act();
  return capture.Lines();
}

std::vector<std::string> PluginTest::LogLines() const {
  std::vector<std::string> lines;
  for (const auto& record : harness_->Server().Log()) {
    lines.push_back(record.text);
  }
  return lines;
}

std::vector<std::string> PluginTest::LogLines(spdlog::level::level_enum level) const {
  std::vector<std::string> lines;
  for (const auto& record : harness_->Server().Log()) {
    if (record.level == level) {
      lines.push_back(record.text);
    }
  }
  return lines;
}

std::vector<std::string> PluginTest::PluginLogLines(spdlog::level::level_enum level) const {
  std::vector<std::string> lines;
  for (const auto& record : harness_->Server().Log()) {
    if (record.level == level && record.logger == "Cairnward-Alpha1") {
      lines.push_back(record.text);
    }
  }
  return lines;
}

std::vector<std::string> PluginTest::TakeViolations() {
  std::vector<std::string> seen = standin::Violations();
  standin::ClearViolations();
  return seen;
}

}  // namespace cairnward::testing
