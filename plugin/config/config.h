#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>

#include "config/json_access.h"
#include "config/limit_plan.h"

namespace cairnward {

// A config.json as a load takes it: the document, and what is read from it
// once, at the load itself.
struct LoadedConfig {  // NOLINT(bugprone-exception-escape): a JSON value moves without throwing
  Json document;
  bool ignore_admin = false;
  std::shared_ptr<const LimitPlan> plan;
  std::chrono::system_clock::time_point loaded_at;  // set when it is put in force
};

// Parses a config.json and reads what a load reads at once. Fails with the
// JSON library's error: malformed JSON, a top level that is not an object, a
// "General" that is missing or not an object, an "IgnoreAdmin" that is not a
// boolean, a wrong type or range in "Groups", "Teams", "WarnAtPercent" or
// "Cluster".
LoadedConfig ParseConfig(std::istream& in);

// The parsed config.json: null until the first successful read, replaced
// whole by each successful read and never touched by a failed one.
Json& PluginConfig();

// Raised by every successful read: what is worked out from one PluginConfig
// holds while the generation stays.
std::uint64_t ConfigGeneration();

// When the configuration in force was read.
std::chrono::system_clock::time_point ConfigLoadedAt();

// "General" -> "IgnoreAdmin" as of the last successful read.
bool IgnoreAdmin();

// Groups, team limits and the warning threshold of the configuration in
// force (none before the first read). The same object for as long as that
// configuration is.
const std::shared_ptr<const LimitPlan>& LimitsInForce();
inline const LimitPlan& Limits() {
  return *LimitsInForce();
}

// <server folder>/AtlasApi/Plugins/Cairnward/config.json
std::string ConfigPath();

// Reads the file into PluginConfig. A failure is logged at error level and
// passed on; PluginConfig and IgnoreAdmin then keep their previous values.
void ReadConfig();

// ReadConfig, handing back the configuration that the read took out of
// force, to be put back with RestoreConfig when the new one turns out unusable.
LoadedConfig ReplaceConfig();
void RestoreConfig(LoadedConfig previous) noexcept;

// Runs a step of a load or a reload that reads the configuration. A
// failure whose read noted the member it was reading goes on with that
// member's JSON pointer after its text: "… (at /Structures/…/Count)".
void NamingFailedMember(const std::function<void()>& step);

}  // namespace cairnward
