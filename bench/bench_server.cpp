#include "bench_server.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "api/export.h"
#include "host/logger.h"

// The plug-in's entry routine, linked in: the benchmarks time its routines
// in this program.
CAIRN_PLUGIN_EXPORT bool PluginEntry(int reason);

namespace cairnward::bench {
namespace {

constexpr std::int32_t kLargestWorld = 1'000'000;
constexpr std::int32_t kStructureClasses = 1000;
constexpr std::int32_t kLimitedClasses = 300;
constexpr std::size_t kGroups = 50;
constexpr std::size_t kGroupMembers = 10;
constexpr std::size_t kTeamsWithOwnLimits = 1000;

// Groups of the world's first 500 classes, ten to a group, and limits of
// their own for the first 1,000 teams: what a large server with event
// winners configures. The limits are those for everyone, so that they change
// no answer, only the work of finding them.
void AddGroupsAndTeams(nlohmann::json& config, const standin::GeneratedWorld& world,
                       const std::vector<std::string>& limited) {
  const std::size_t groups = std::min(kGroups, world.structure_classes.size() / kGroupMembers);
  for (std::size_t g = 0; g < groups; ++g) {
    nlohmann::json members = nlohmann::json::array();
    for (std::size_t m = 0; m < kGroupMembers; ++m) {
      members.push_back(BlueprintPath(world.structure_classes[g * kGroupMembers + m]));
    }
    config["Groups"]["Group " + std::to_string(g)] = {{"Name", "Group " + std::to_string(g)},
                                                      {"Count", BenchServer::kGroupLimit},
                                                      {"Blueprints", members}};
  }
  const std::size_t teams = std::min(kTeamsWithOwnLimits, world.teams.size());
  for (std::size_t t = 0; t < teams; ++t) {
    config["Teams"][std::to_string(world.teams[t])] = {
        {"MaxAmount", BenchServer::kMaxAmount},
        {"Structures", {{BlueprintPath(limited.at(1)), BenchServer::LimitOf(1)}}},
        {"Groups", {{"Group 0", BenchServer::kGroupLimit}}}};
  }
}

// What an administrator of a large server writes, with every class of the
// world's first 300 limited.
nlohmann::json ServerConfig(const standin::GeneratedWorld& world,
                            const std::vector<std::string>& limited) {
  nlohmann::json config = harness::BaselineConfig();
  config["General"]["IgnoreAdmin"] = true;
  config["General"]["MaxAmount"] = BenchServer::kMaxAmount;
  config["General"]["WarnAtPercent"] = 95;
  config["Messages"]["ShowGroupMsg"] = "{} (together): {}/{}\n";
  config["Messages"]["NearLimitMsg"] = "Careful: {} {}/{}";
  config["Structures"] = nlohmann::json::object();
  for (std::size_t i = 0; i < limited.size(); ++i) {
    const std::string& path = limited[i];
    config["Structures"][BlueprintPath(path)] = {{"Count", BenchServer::LimitOf(i)},
                                                 {"Name", path.substr(path.rfind('.') + 1)}};
  }
  AddGroupsAndTeams(config, world, limited);
  return config;
}

std::unique_ptr<BenchServer>& Current() {
  static std::unique_ptr<BenchServer> current;
  return current;
}

}  // namespace

standin::WorldShape ServerShape(std::int32_t actors) {
  standin::WorldShape shape;
  shape.seed = 20240601;
  shape.actors = actors;
  shape.structures = static_cast<std::int32_t>(static_cast<std::int64_t>(actors) * 7 / 10);
  shape.structure_classes = std::min(kStructureClasses, shape.structures);
  shape.teams = std::max(
      1, static_cast<std::int32_t>(static_cast<std::int64_t>(actors) * 20'000 / kLargestWorld));
  shape.uncounted_share = 0.05;
  return shape;
}

std::int32_t BenchServer::LimitOf(std::size_t limited_index) {
  constexpr std::array<std::int32_t, 8> kLimits = {1, 2, 5, 10, 20, 50, 100, 200};
  return kLimits[limited_index % kLimits.size()];
}

BenchServer::BenchServer(const standin::WorldShape& shape)
    : harness_({.forget_plugin_state =
                    [] {
                      ClearAccounting();
                      PluginLogger().reset();
                    }}),
      shape_(shape) {
  generated_ = standin::GenerateWorld(World(), shape_);
  const std::size_t limited =
      std::min<std::size_t>(kLimitedClasses, generated_.structure_classes.size());
  limited_.assign(generated_.structure_classes.begin(),
                  generated_.structure_classes.begin() + static_cast<std::ptrdiff_t>(limited));
  harness_.WriteConfig(ServerConfig(generated_, limited_));
  // Still starting: the world is counted when a benchmark wants it counted.
  Server().SetStatus(0);
  if (!harness_.LoadLinked(&PluginEntry)) {
    throw std::runtime_error("the plug-in does not load");
  }
  Server().SetStatus(1);
}

BenchServer::~BenchServer() {
  for (const std::string& problem : harness_.Finish()) {
    std::fprintf(stderr, "cairnward bench: %s\n", problem.c_str());
  }
}

void BenchServer::EnsureCounted() {
  if (!counted_) {
    UpdateStructureCountAll();
    counted_ = true;
  }
}

void BenchServer::ForgetCalls() {
  World().original_calls.clear();
  World().build_checks.clear();
  Server().ClearDeliveries();
  Server().ClearRconReplies();
}

BenchServer& ServerFor(const standin::WorldShape& shape) {
  auto& current = Current();
  if (!current || current->Shape().actors != shape.actors || current->Shape().seed != shape.seed ||
      current->Shape().teams != shape.teams) {
    current.reset();
    current = std::make_unique<BenchServer>(shape);
  }
  return *current;
}

void ShutDownServer() {
  Current().reset();
}

}  // namespace cairnward::bench
