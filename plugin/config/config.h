#pragma once

#include <cstdint>

#include "config/json_access.h"

namespace cairnward {

// The parsed config.json: null until the first successful read, replaced
// whole by each successful read and never touched by a failed one.
Json& PluginConfig();

// Raised by every successful read: what is worked out from one PluginConfig
// holds while the generation stays.
std::uint64_t ConfigGeneration();

// "General" -> "IgnoreAdmin" as of the last successful read.
bool IgnoreAdmin();

// <server folder>/AtlasApi/Plugins/Cairnward/config.json
std::string ConfigPath();

// Reads the file into PluginConfig. A failure is logged at error level and
// passed on; PluginConfig and IgnoreAdmin then keep their previous values.
void ReadConfig();

}  // namespace cairnward
