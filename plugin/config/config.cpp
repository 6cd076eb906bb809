#include "config/config.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "api/ark_api.h"
#include "config/settings.h"
#include "lifecycle/logger.h"

namespace cairnward {
namespace {
bool ignore_admin = false;
}  // namespace

Json& PluginConfig() {
  static Json document;
  return document;
}

bool IgnoreAdmin() {
  return ignore_admin;
}

std::string ConfigPath() {
  return ArkApi::Tools::GetCurrentDir() + "/AtlasApi/Plugins/Cairnward/config.json";
}

LoadedConfig ParseConfig(std::istream& in) {
  LoadedConfig loaded{.document = Json::parse(in)};
  loaded.ignore_admin = SettingOr<bool>(loaded.document, settings::kIgnoreAdmin);
  return loaded;
}

void ReadConfig() {
  try {
    const std::string path = ConfigPath();
    std::ifstream file(path);
    // A directory opens as a stream on this platform but is no config file.
    if (!file.is_open() || std::filesystem::is_directory(path)) {
      throw std::runtime_error("Can't open config.json");
    }
    // Parsed and checked aside, so that a broken file leaves the running
    // configuration in force.
    LoadedConfig loaded = ParseConfig(file);
    PluginConfig() = std::move(loaded.document);
    ignore_admin = loaded.ignore_admin;
  } catch (const std::exception& e) {
    Log().error("{}", e.what());
    throw;
  }
}

}  // namespace cairnward
