#include "config/config.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "api/ark_api.h"
#include "lifecycle/logger.h"

namespace cairnward {
namespace {
bool ignore_admin = false;
std::uint64_t generation = 1;
}  // namespace

Json& PluginConfig() {
  static Json document;
  return document;
}

std::uint64_t ConfigGeneration() {
  return generation;
}

bool IgnoreAdmin() {
  return ignore_admin;
}

std::string ConfigPath() {
  return ArkApi::Tools::GetCurrentDir() + "/AtlasApi/Plugins/Cairnward/config.json";
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
    Json document = Json::parse(file);
    const bool ignore = ValueOr(Required(document, "General"), "IgnoreAdmin", false);
    PluginConfig() = std::move(document);
    ignore_admin = ignore;
    ++generation;
  } catch (const std::exception& e) {
    Log().error("{}", e.what());
    throw;
  }
}

}  // namespace cairnward
