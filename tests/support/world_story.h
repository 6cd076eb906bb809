#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/game_types.h"
#include "standin/objects.h"
#include "standin/server.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {

// Object paths of the blueprints that DefaultConfig() limits, and one it does not.
inline constexpr const char* kWall = "/Game/Structures/Wall.Wall";                    // Count 3
inline constexpr const char* kFoundation = "/Game/Structures/Foundation.Foundation";  // Count 10
inline constexpr const char* kCeiling = "/Game/Structures/Ceiling.Ceiling";           // unlimited

// "Blueprint'<object path>'": how the configuration names a blueprint.
std::string BlueprintPath(const std::string& object_path);
std::u16string BlueprintPath16(const std::string& object_path);

// A plug-in test told as a story to the stand-in server: set up the world the
// way a loaded save has it, act, then look at what players received, what the
// trace and the log hold.
class WorldStory : public PluginTest {
 protected:
  void TearDown() override;

  // Whatever the plug-in keeps outside the loaded library must be gone
  // before the server is checked for leaked blocks.
  virtual void ForgetPluginState() {}

  // ---- The configuration: DefaultConfig() until a test changes it.
  Json& Config() { return config_; }
  // "Count" of a blueprint, by object path.
  void Limit(const std::string& object_path, std::int32_t count);
  void MaxAmount(std::int32_t amount) { config_["General"]["MaxAmount"] = amount; }
  void Debug(bool on) { config_["Debug"] = on; }
  // Writes Config() to the plug-in's folder.
  void WriteStoryConfig() { WriteConfig(config_); }

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

 private:
  Json config_ = DefaultConfig();
};

}  // namespace cairnward::testing
