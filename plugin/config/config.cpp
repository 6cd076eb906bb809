#include "config/config.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "api/ark_api.h"
#include "config/cluster_settings.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "host/logger.h"
#include "host/text.h"

namespace cairnward {
namespace {
bool ignore_admin = false;
std::uint64_t generation = 1;
std::chrono::system_clock::time_point loaded_at;

std::shared_ptr<const LimitPlan>& Plan() {
  static std::shared_ptr<const LimitPlan> plan = std::make_shared<const LimitPlan>();
  return plan;
}
}  // namespace

Json& PluginConfig() {
  static Json document;
  return document;
}

std::uint64_t ConfigGeneration() {
  return generation;
}

std::chrono::system_clock::time_point ConfigLoadedAt() {
  return loaded_at;
}

bool IgnoreAdmin() {
  return ignore_admin;
}

const std::shared_ptr<const LimitPlan>& LimitsInForce() {
  return Plan();
}

std::string ConfigPath() {
  return ArkApi::Tools::GetCurrentDir() + "/AtlasApi/Plugins/Cairnward/config.json";
}

LoadedConfig ParseConfig(std::istream& in) {
  GroupOrderNotes group_order;
  LoadedConfig loaded;
  loaded.document = Json::parse(in, group_order.Callback());
  loaded.ignore_admin = SettingOr<bool>(loaded.document, settings::kIgnoreAdmin);
  loaded.plan =
      std::make_shared<const LimitPlan>(ParseLimitPlan(loaded.document, group_order.Names()));
  // Checked with the file, so that a reload refuses what a load would; the
  // link itself is made at load.
  (void)ParseClusterSettings(loaded.document);
  return loaded;
}

void NamingFailedMember(const std::function<void()>& step) {
  ForgetFailedMember();
  try {
    step();
  } catch (const std::exception& e) {
    if (FailedMember().empty()) {
      throw;
    }
    throw std::runtime_error(std::string(e.what()) + " (at " + FailedMember() + ")");
  }
}

LoadedConfig ReplaceConfig() {
  std::string path;
  bool opened = false;
  try {
    path = ConfigPath();
    std::ifstream file(path);
    // A directory opens as a stream on this platform but is no config file.
    if (!file.is_open() || std::filesystem::is_directory(path)) {
      throw std::runtime_error("Can't open config.json");
    }
    opened = true;
    // Parsed and checked aside, so that a broken file leaves the running
    // configuration in force.
    LoadedConfig loaded;
    NamingFailedMember([&] { loaded = ParseConfig(file); });
    ++generation;
    // Handed over, not copied: copying a document recurses as deep as it
    // nests, and a deep one would overflow the stack.
    return {std::exchange(PluginConfig(), std::move(loaded.document)),
            std::exchange(ignore_admin, loaded.ignore_admin),
            std::exchange(Plan(), std::move(loaded.plan)),
            std::exchange(loaded_at, std::chrono::system_clock::now())};
  } catch (const Json::parse_error& e) {
    // The parser quotes the bytes it stopped at, which need not be UTF-8:
    // the log and the RCON client get them readable.
    const std::string readable = ReadableUtf8(e.what());
    Log().error("{}", readable);
    throw std::runtime_error(readable);
  } catch (const std::exception& e) {
    Log().error("{}", e.what());
    if (!opened) {
      // Which file it was: the server's folder is not always the one expected.
      Log().error("The configuration is read from {}", path);
    }
    throw;
  }
}

void ReadConfig() {
  ReplaceConfig();
}

void RestoreConfig(LoadedConfig previous) noexcept {
  PluginConfig() = std::move(previous.document);
  ignore_admin = previous.ignore_admin;
  loaded_at = previous.loaded_at;
  if (previous.plan) {
    Plan() = std::move(previous.plan);
  }
  ++generation;
}

}  // namespace cairnward
