#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/common.h>
#include <nlohmann/json.hpp>

#include "api/game_types.h"
#include "harness/plugin_harness.h"
#include "standin/blueprint_path.h"
#include "standin/objects.h"
#include "standin/server.h"

namespace cairnward::testing {

using Json = nlohmann::json;
using harness::BaselineConfig;
using harness::kCeiling;
using harness::kFoundation;
using harness::kWall;
using standin::BlueprintPath;
using standin::BlueprintPath16;

// A plug-in test told as a story to a stand-in server of its own, in a server
// folder with the built plug-in installed: set up the world the way a loaded
// save has it, act as players and administrators do, then look at what they
// received, what the trace and the log hold. At the end the plug-in is
// unloaded, the server shut down, and the test fails on any host violation or
// FMemory block left live.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Whatever the plug-in keeps outside the loaded library must be gone
  // before the server is checked for leaked blocks.
  virtual void ForgetPluginState() {}

  standin::Server& server() { return harness_->Server(); }
  standin::World& world() { return harness_->World(); }
  const std::filesystem::path& root() const { return harness_->Root(); }
  std::filesystem::path ConfigFile() const { return harness_->ConfigFile(); }

  // ---- The configuration: BaselineConfig() until a test changes it.
  Json& Config() { return config_; }
  // "Count" of a blueprint, by object path.
  void Limit(const std::string& object_path, std::int32_t count);
  void MaxAmount(std::int32_t amount) { config_["General"]["MaxAmount"] = amount; }
  void Debug(bool on) { config_["Debug"] = on; }
  // Writes Config() to the plug-in's folder.
  void WriteStoryConfig() { WriteConfig(config_); }
  void WriteConfig(const Json& config) { harness_->WriteConfig(config); }
  void WriteConfigText(const std::string& text) { harness_->WriteConfigText(text); }
  void RemoveConfig() { harness_->RemoveConfig(); }

  // Loads with BaselineConfig() unless a config was written already.
  bool LoadPlugin() { return harness_->Load(); }
  void UnloadPlugin() { server().UnloadPlugin(); }

  // ---- The world.
  // `count` structures of a blueprint owned by `team`.
  std::vector<standin::SimActor*> Spawn(const std::string& object_path, std::int32_t team,
                                        int count = 1);
  // An actor of a blueprint that is no structure.
  standin::SimActor* SpawnNonStructure(const std::string& object_path, std::int32_t team);
  // A player acting for `team` (his own team id); an admin is in the
  // Permissions group "Admins".
  standin::SimPlayerController* AddPlayer(const std::string& name, std::uint64_t steam_id,
                                          std::int32_t team, bool admin = false);
  // Puts the player into a tribe as a loaded save has him: no hook runs.
  void PutInTribe(standin::SimPlayerController* player, std::int32_t tribe_id);

  static AShooterPlayerController* AsPlayer(standin::SimPlayerController* player);
  static AShooterPlayerState* StateOf(standin::SimPlayerController* player);

  // ---- What happened.
  // What a player was shown, oldest first.
  std::vector<standin::Delivery> Received(const standin::SimPlayerController* player);
  // The trace lines written to standard output while `act` runs.
  static std::vector<std::string> TraceOf(const std::function<void()>& act);
  // Texts of the log lines, all or at one level.
  std::vector<std::string> LogLines() const;
  std::vector<std::string> LogLines(spdlog::level::level_enum level) const;
  std::vector<std::string> PluginLogLines(spdlog::level::level_enum level) const;
  // The host's violations so far, which the test then expects; they no
  // longer fail it.
  static std::vector<std::string> TakeViolations();

 private:
  std::unique_ptr<harness::PluginHarness> harness_;
  Json config_ = BaselineConfig();
};

}  // namespace cairnward::testing
