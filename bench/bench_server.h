#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness/plugin_harness.h"
#include "standin/blueprint_path.h"
#include "standin/server.h"
#include "standin/world_generator.h"

namespace cairnward::bench {

// The world of a live server with `actors` actors, scaled from the largest
// one: 70% structures over 1,000 classes (300 of them limited, 500 in 50
// groups of ten), 30% creatures, 5% of the structures on teams of 1000 or
// less, and one team above 1000 for every 50 actors, the first 1,000 of them
// with limits of their own.
standin::WorldShape ServerShape(std::int32_t actors);

// A stand-in server with a generated world and the plug-in, linked in,
// attached with a configuration that limits the world's first classes. Only
// one exists at a time, as only one stand-in server may run.
class BenchServer {
 public:
  explicit BenchServer(const standin::WorldShape& shape);
  ~BenchServer();
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

  standin::Server& Server() { return harness_.Server(); }
  standin::World& World() { return harness_.World(); }
  [[nodiscard]] const standin::WorldShape& Shape() const { return shape_; }
  [[nodiscard]] const standin::GeneratedWorld& Generated() const { return generated_; }

  // Object paths of the classes limited under "Structures", and their "Count".
  [[nodiscard]] const std::vector<std::string>& Limited() const { return limited_; }
  [[nodiscard]] static std::int32_t LimitOf(std::size_t limited_index);
  static constexpr std::int32_t kMaxAmount = 1000;
  // Of each of the 50 groups of ten classes; high enough never to refuse.
  static constexpr std::int32_t kGroupLimit = 1'000'000;

  // Counts the world once, unless a recount has done so already.
  void EnsureCounted();

  // Drops what the game's side keeps of every call (the game functions'
  // records, the players' deliveries, the RCON replies), so that long runs
  // stay in memory.
  void ForgetCalls();

 private:
  harness::PluginHarness harness_;
  standin::WorldShape shape_;
  standin::GeneratedWorld generated_;
  std::vector<std::string> limited_;
  bool counted_ = false;
};

// The server of the running benchmark: kept while the next one asks for the
// same shape, replaced otherwise.
BenchServer& ServerFor(const standin::WorldShape& shape);
void ShutDownServer();

using standin::BlueprintPath;

}  // namespace cairnward::bench
