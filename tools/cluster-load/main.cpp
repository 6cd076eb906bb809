// cairnward-cluster-load: many grid servers against one Redis, through the
// plug-in's own link, scripts and publisher, and what it costs Redis and
// the grids: a busy hour, a refill storm and a restart storm.
#include <sys/resource.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "figures.h"
#include "load_run.h"
#include "redis_process.h"

namespace {

// A connection per grid's game thread, heartbeat and publication: more
// than the default 1,024 descriptors at a few hundred grids.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// What the command line gives, beside the plan.
struct CommandLine {
  cluster_load::Plan plan;
  std::string redis_server;
  std::string output;
  std::vector<cluster_load::Scenario> scenarios;
  int duration_s = static_cast<int>(plan.duration.count());
  int storm_limit_s = static_cast<int>(plan.storm_limit.count());
  int timeout_ms = 0;
  CLI::Option* port = nullptr;
  CLI::Option* server = nullptr;
};

void AddClusterOptions(CLI::App& app, CommandLine& line) {
  cluster_load::Plan& plan = line.plan;
  app.add_option("--grids", plan.grids, "Grid servers")
      ->capture_default_str()
      ->check(CLI::Range(1, 5000));
  app.add_option("--builders", plan.builders, "Builders per grid, each placing every 2 s")
      ->capture_default_str()
      ->check(CLI::Range(0, 1000));
  app.add_option("--teams", plan.teams_per_grid, "Teams each grid holds")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  app.add_option("--grids-per-team", plan.grids_per_team, "Grids that hold each team")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  app.add_option("--joins-per-minute", plan.joins_per_minute, "Tribe joins in the whole cluster")
      ->capture_default_str()
      ->check(CLI::Range(0, 100000));
  app.add_option("--threads", plan.threads, "Threads acting as the grids' game threads")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
}

void AddRunOptions(CLI::App& app, CommandLine& line) {
  static const std::map<std::string, cluster_load::Scenario> names{
      {"restart-storm", cluster_load::Scenario::kRestartStorm},
      {"busy-hour", cluster_load::Scenario::kBusyHour},
      {"refill-storm", cluster_load::Scenario::kRefillStorm}};
  app.add_option("--duration", line.duration_s, "Seconds of the busy hour")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  app.add_option("--storm-limit", line.storm_limit_s,
                 "Seconds a storm may take before it is reported as not over")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  app.add_option("--timeout-ms", line.timeout_ms, "The grids' TimeoutMs (default: the plug-in's)")
      ->check(CLI::Range(1, 60000));
  app.add_option("--scenario", line.scenarios,
                 "restart-storm, busy-hour or refill-storm (default: all)")
      ->transform(CLI::CheckedTransformer(names));
}

void AddRedisOptions(CLI::App& app, CommandLine& line) {
  app.add_option("--host", line.plan.host, "A Redis on this machine to use (it is emptied)")
      ->capture_default_str()
      ->check([](const std::string& host) {
        return host == "127.0.0.1" || host == "localhost" ? std::string()
                                                          : std::string("loopback only");
      });
  line.port = app.add_option("--port", line.plan.port, "Its port")->check(CLI::Range(1, 65535));
  line.server =
      app.add_option(
             "--redis-server", line.redis_server,
             "Start this redis-server on a free loopback port instead, and stop it at the end")
          ->check(CLI::ExistingFile);
  line.port->excludes(line.server);
  app.add_option("--output", line.output, "Also write the figures as JSON to FILE")
      ->option_text("FILE");
}

// Runs the plan and prints each scenario's lines as it ends (a run takes
// minutes), then the targets; 1 when a final check found a difference.
int RunPlan(const cluster_load::Plan& plan, const std::string& output) {
  const cluster_load::Figures figures =
      cluster_load::RunLoad(plan, [&](const cluster_load::Figures& so_far) {
        if (so_far.scenarios.size() == 1) {
          std::printf("%s", cluster_load::Heading(plan, so_far).c_str());
        }
        std::printf("%s", cluster_load::ScenarioTable(plan, so_far.scenarios.back()).c_str());
        std::fflush(stdout);
      });
  std::printf("%s", cluster_load::TargetsTable(plan, figures).c_str());
  if (!output.empty()) {
    std::ofstream(output) << cluster_load::Json(plan, figures).dump(2) << '\n';
  }
  for (const cluster_load::Verdict& verdict : cluster_load::Verdicts(plan, figures)) {
    if (!verdict.met && verdict.what.ends_with("final check")) {
      return 1;
    }
  }
  return 0;
}

int Run(int argc, char** argv) {
  CLI::App app{"Simulate grid servers of a cluster on one Redis and report what they cost it"};
  CommandLine line;
  AddClusterOptions(app, line);
  AddRunOptions(app, line);
  AddRedisOptions(app, line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (line.port->count() == 0 && line.server->count() == 0) {
    std::fprintf(stderr, "cairnward-cluster-load: give --port or --redis-server\n");
    return 2;
  }
  cluster_load::Plan& plan = line.plan;
  plan.duration = std::chrono::seconds(line.duration_s);
  plan.storm_limit = std::chrono::seconds(line.storm_limit_s);
  plan.timeout = std::chrono::milliseconds(line.timeout_ms);
  if (!line.scenarios.empty()) {
    plan.scenarios = line.scenarios;
  }
  RaiseDescriptorLimit();
  std::optional<cairnward::RedisProcess> redis;
  if (!line.redis_server.empty()) {
    // Room for every grid's connections; stopped with the tool, however it ends.
    redis.emplace(cairnward::RedisProcess::Options{.binary = line.redis_server,
                                                   .password = {},
                                                   .more = {"--maxclients", "10000"},
                                                   .ends_with_parent = true});
    plan.port = redis->Port();
  }
  return RunPlan(plan, line.output);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cairnward-cluster-load: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "cairnward-cluster-load: unknown error\n");
  }
  return 2;
}
