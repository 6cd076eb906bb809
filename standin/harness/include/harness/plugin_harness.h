#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/plugin_entry.h"
#include "standin/server.h"

namespace harness {

// Object paths of the small world's blueprints: BaselineConfig() limits the
// first two and leaves the third unlimited.
inline constexpr const char* kWall = "/Game/Structures/Wall.Wall";                    // "Count" 3
inline constexpr const char* kFoundation = "/Game/Structures/Foundation.Foundation";  // "Count" 10
inline constexpr const char* kCeiling = "/Game/Structures/Ceiling.Ceiling";

// A complete configuration with every key set, as an administrator would
// write it: tests, fuzz targets and benchmarks change what they are about and
// leave the rest.
nlohmann::json BaselineConfig();

struct HarnessOptions {
  // The built plug-in, linked into the server folder as the host would find
  // it; empty for a plug-in linked into this program (LoadLinked).
  std::filesystem::path library{};
  // The server folder. Empty: a fresh one, removed at the end. A folder that
  // outlives the harness keeps no host log from one harness to the next.
  std::filesystem::path root{};
  // What the plug-in keeps outside a loaded library, forgotten before the
  // live FMemory blocks are counted at the end.
  std::function<void()> forget_plugin_state{};
  standin::ServerOptions server{};
};

// One stand-in game server with Cairnward installed in its folder, the way
// every test, fuzz target and benchmark drives the plug-in. Finish() unloads
// it, shuts the server down and says what went wrong: a host violation, a
// live FMemory block that was not live at the start.
class PluginHarness {
 public:
  explicit PluginHarness(HarnessOptions options = {});
  ~PluginHarness();
  PluginHarness(const PluginHarness&) = delete;
  PluginHarness& operator=(const PluginHarness&) = delete;

  standin::Server& Server() { return *server_; }
  standin::World& World() { return server_->GetWorld(); }
  [[nodiscard]] const std::filesystem::path& Root() const { return root_; }
  [[nodiscard]] std::filesystem::path ConfigFile() const;

  void WriteConfig(const nlohmann::json& config);
  void WriteConfigText(std::string_view text);
  void RemoveConfig();

  // Each loads with BaselineConfig() unless a configuration was written (or
  // removed) already: the installed library, or one linked into this program.
  bool Load();
  bool LoadLinked(plugin_entry::EntryFn entry);

  std::vector<std::string> Finish();

 private:
  void WriteBaselineUnlessWritten();

  HarnessOptions options_;
  std::filesystem::path root_;
  bool own_root_ = false;
  std::size_t blocks_before_ = 0;
  std::unique_ptr<standin::Server> server_;
  bool config_written_ = false;
};

}  // namespace harness
