#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace cluster_load {

// What a run puts on the cluster's Redis. The defaults are the 400-grid
// cluster that docs/cluster.md sizes.
enum class Scenario {
  kRestartStorm,  // every grid loads at once: recount and first publication
  kBusyHour,      // placements, removals, standings, merge checks and joins at a busy hour's rate
  kRefillStorm,   // Redis emptied under the grids, every grid republishing at once
};

struct Plan {
  int grids = 400;
  int builders = 20;         // per grid, each placing once every `placement_period`
  int teams_per_grid = 500;  // each team is held by `grids_per_team` grids
  int grids_per_team = 4;
  int joins_per_minute = 3;  // in the whole cluster
  int threads = 16;          // that act as the grids' game threads
  std::chrono::milliseconds placement_period{2000};
  std::chrono::seconds duration{60};      // of the busy hour, and of the load during a storm
  std::chrono::seconds storm_limit{120};  // a storm not over by then is reported as such
  std::chrono::milliseconds timeout{0};   // "TimeoutMs"; 0: the plug-in's default
  std::vector<Scenario> scenarios{Scenario::kRestartStorm, Scenario::kBusyHour,
                                  Scenario::kRefillStorm};
  std::string host = "127.0.0.1";
  int port = 0;
};

std::string NameOf(Scenario scenario);

}  // namespace cluster_load
