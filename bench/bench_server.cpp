#include "bench_server.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "config/config.h"
#include "hooks/hooks.h"
#include "lifecycle/logger.h"

namespace cairnward::bench {
namespace {

constexpr std::int32_t kLargestWorld = 1'000'000;
constexpr std::int32_t kStructureClasses = 1000;
constexpr std::int32_t kLimitedClasses = 300;
constexpr std::size_t kGroups = 50;
constexpr std::size_t kGroupMembers = 10;
constexpr std::size_t kTeamsWithOwnLimits = 1000;

std::filesystem::path MakeRoot() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "cairnward-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a server folder under " + pattern);
  }
  return pattern;
}

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
  nlohmann::json config = {
      {"Debug", false},
      {"General",
       {{"IgnoreAdmin", true},
        {"MaxAmount", BenchServer::kMaxAmount},
        {"NotificationScale", 1.3},
        {"NotificationDisplayTime", 10.0},
        {"WarnAtPercent", 95}}},
      {"Structures", nlohmann::json::object()},
      {"Messages",
       {{"ShowLimitsCmd", "/limits"},
        {"ReachLimit", "Your tribe has reached its limit for this structure."},
        {"InvitingMergeFail", "Your tribes together would own more structures than allowed."},
        {"InvitedMergeFail", "The merged tribe would own more structures than allowed."},
        {"InvitingTribeFail", "That player's structures would put your tribe over its limits."},
        {"InvitedPlayerFail", "Your structures would put that tribe over its limits."},
        {"ShowLimitMsg", "{}: {}/{}\n"},
        {"TotalLimitMsg", "Total: {}/{}"},
        {"ShowGroupMsg", "{} (together): {}/{}\n"},
        {"NearLimitMsg", "Careful: {} {}/{}"},
        {"Sender", "Cairnward"},
        {"ShowLimitsType", "Notification"},
        {"NotificationColor", {{"Red", 1.0}, {"Green", 0.75}, {"Blue", 0.0}}},
        {"ShowLimitsScale", 1.0},
        {"ShowLimitsDisplayTime", 15.0}}}};
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

std::string BlueprintPath(const std::string& object_path) {
  return "Blueprint'" + object_path + "'";
}

std::int32_t BenchServer::LimitOf(std::size_t limited_index) {
  constexpr std::array<std::int32_t, 8> kLimits = {1, 2, 5, 10, 20, 50, 100, 200};
  return kLimits[limited_index % kLimits.size()];
}

BenchServer::BenchServer(const standin::WorldShape& shape) : root_(MakeRoot()), shape_(shape) {
  std::filesystem::create_directories(root_ / "AtlasApi" / "Plugins" / "Cairnward");
  server_ = std::make_unique<standin::Server>(root_);
  generated_ = standin::GenerateWorld(World(), shape_);
  const std::size_t limited =
      std::min<std::size_t>(kLimitedClasses, generated_.structure_classes.size());
  limited_.assign(generated_.structure_classes.begin(),
                  generated_.structure_classes.begin() + static_cast<std::ptrdiff_t>(limited));
  std::ofstream(root_ / "AtlasApi" / "Plugins" / "Cairnward" / "config.json")
      << ServerConfig(generated_, limited_).dump(2);
  CreatePluginLogger();
  ReadConfig();
  InstallHooks();
}

BenchServer::~BenchServer() {
  RemoveHooks();
  ClearAccounting();
  PluginLogger().reset();
  server_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
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
}

BenchServer& ServerFor(const standin::WorldShape& shape) {
  auto& current = Current();
  if (!current || current->Shape().actors != shape.actors || current->Shape().seed != shape.seed) {
    current.reset();
    current = std::make_unique<BenchServer>(shape);
  }
  return *current;
}

void ShutDownServer() {
  Current().reset();
}

}  // namespace cairnward::bench
