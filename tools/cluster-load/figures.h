#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "plan.h"
#include "redis_stats.h"

namespace cluster_load {

// Percentiles of a set of times, in milliseconds.
struct Spread {
  std::size_t count = 0;
  double p50_ms = 0;
  double p99_ms = 0;
  double max_ms = 0;
};
Spread SpreadOf(std::vector<float> microseconds);

// What the grids did in a scenario, and how it went.
struct Activity {
  std::int64_t allowed = 0;
  std::int64_t refused = 0;
  std::int64_t judged_locally = 0;  // the cluster could not be asked in time
  std::int64_t removals = 0;
  std::int64_t standings = 0;
  std::int64_t merge_checks = 0;
  std::int64_t joins = 0;
  Spread placement;  // a grid's final placement, as its game thread waits for it
  Spread lag;        // how late the load generator was against its schedule
};

// The final check: every aggregate against the sum of its contributions.
struct CheckFigures {
  bool done = false;
  std::size_t teams = 0;
  std::size_t differing = 0;
  std::string summary;
};

struct ScenarioFigures {
  Scenario scenario = Scenario::kBusyHour;
  double seconds = 0;  // of the load
  Activity activity;
  double redis_cpu_share = 0;  // of one core over the load's wall time
  std::map<std::string, CommandTime> commands;
  std::optional<double> all_in_seconds;  // storms: until every contribution was in
  int link_downs = 0;
  int link_downs_in_flush = 0;  // refill storm: while a blocking FLUSHALL held Redis
  // The longest Redis held its thread for one event (latency monitor), ms.
  std::int64_t redis_longest_ms = 0;
  int link_backs = 0;
  std::vector<std::string> down_reasons;  // the first few
  std::int64_t used_memory = 0;           // at the end
  CheckFigures check;
};

struct Figures {
  std::string redis_version;
  std::int64_t used_memory_empty = 0;  // before the first grid loaded
  // After the last scenario, with the grids' connections closed: the data
  // alone, without the buffers of hundreds of clients.
  std::int64_t used_memory_data = 0;
  std::vector<ScenarioFigures> scenarios;
};

// A target and whether it was met.
struct Verdict {
  std::string what;
  std::string measured;
  std::string target;
  bool met = false;
};
std::vector<Verdict> Verdicts(const Plan& plan, const Figures& figures);

// The run's first line, a scenario's lines, and the targets' lines.
std::string Heading(const Plan& plan, const Figures& figures);
std::string ScenarioTable(const Plan& plan, const ScenarioFigures& scenario);
std::string TargetsTable(const Plan& plan, const Figures& figures);
nlohmann::ordered_json Json(const Plan& plan, const Figures& figures);

}  // namespace cluster_load
