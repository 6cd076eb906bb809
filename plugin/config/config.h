#pragma once

#include "config/json_access.h"

namespace cairnward {

// The parsed config.json: null until the first successful read, replaced
// whole by each successful read and never touched by a failed one.
Json& PluginConfig();

// "General" -> "IgnoreAdmin" as of the last successful read.
bool IgnoreAdmin();

// <server folder>/AtlasApi/Plugins/Cairnward/config.json
std::string ConfigPath();

// Reads the file into PluginConfig. A failure is logged at error level and
// passed on; PluginConfig and IgnoreAdmin then keep their previous values.
void ReadConfig();

// A configuration taken out of force, kept to be put back when the one that
// replaced it turns out unusable.
struct SavedConfig {  // NOLINT(bugprone-exception-escape): a JSON value moves without throwing
  Json document;
  bool ignore_admin = false;
};

// ReadConfig, handing back the configuration that the read replaced.
SavedConfig ReplaceConfig();
void RestoreConfig(SavedConfig saved) noexcept;

}  // namespace cairnward
