#include <benchmark/benchmark.h>
#include <hiredis/hiredis.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "api/game_members.h"
#include "bench_server.h"
#include "benches.h"
#include "builder.h"
#include "cluster/cluster_counts.h"
#include "cluster/redis_connection.h"
#include "cluster/scripts.h"
#include "config/cluster_settings.h"
#include "counts/counts.h"
#include "redis_times.h"
#include "support/redis_server.h"

namespace cairnward::bench {
namespace {

// A redis-server of the benchmarks' own on loopback, started at the first
// cluster benchmark and stopped with the process.
testing::RedisServer& Redis() {
  static testing::RedisServer redis;
  return redis;
}

ClusterSettings Settings(int port) {
  ClusterSettings settings;
  settings.host = "127.0.0.1";
  settings.port = port;
  settings.name = "bench";
  settings.server = "A1";
  // Above the default 20 ms: on a shared machine Redis may wait its turn for
  // a core, and a timeout would end the benchmark rather than measure it.
  settings.timeout = std::chrono::milliseconds(100);
  settings.retry = std::chrono::milliseconds(1000);
  return settings;
}

// The cluster link for the benchmark: to the running Redis, or (`up` false)
// to a port nobody listens on, so that every check finds the link down.
class ClusterFor {
 public:
  explicit ClusterFor(bool up) {
    StartCluster(Settings(up ? Redis().Port() : testing::UnusedPort()));
    PublishContribution();
  }
  ~ClusterFor() { StopCluster(); }
  ClusterFor(const ClusterFor&) = delete;
  ClusterFor& operator=(const ClusterFor&) = delete;
};

// Until this server's whole contribution is in Redis.
void AwaitPublication() {
  while (ClusterPublishing()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ClusterUp();
}

// Empties the benchmark's Redis, as a restart would.
void EmptyRedis() {
  redisContext* context = redisConnect("127.0.0.1", Redis().Port());
  freeReplyObject(redisCommand(context, "FLUSHALL"));
  redisFree(context);
}

double Percentile(std::vector<double> samples, double share) {
  if (samples.empty()) {
    return 0.0;
  }
  const auto at = static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at),
                   samples.end());
  return samples[at];
}

// The final build check of an allowed placement with the cluster's link up
// or down; each call is timed on its own for the median and the 99th
// percentile. Every batch the builder's counts go back, here and in Redis.
void ClusterBuildCheck(benchmark::State& state, std::int32_t actors, bool up) {
  BenchServer& bench = ServerFor(ServerShape(actors));
  const Builder b = MakeBuilder(bench);
  const ClusterFor cluster(up);
  if (ClusterUp() != up) {
    state.SkipWithError("the cluster's link is not as the bench expects");
    return;
  }
  const BuildCheck check = bench.Server().Hooks().Entry(game::kIsAllowedToBuild);
  std::optional<ScriptTimes> redis_times;
  if (up) {
    redis_times.emplace(Redis().Port(), ScriptSource(Script::kPlace));
  }
  std::vector<double> samples;
  std::vector<double> redis_samples;
  std::vector<double> publication;
  std::int64_t done = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(CallCheck(check, b.allowed, b, true));
    samples.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    if (++done % kBatch == 0) {
      state.PauseTiming();
      if (redis_times) {
        redis_times->Take(redis_samples);
      }
      bench.ForgetCalls();
      ResetBuilder(b);
      PublishContribution();
      AwaitPublication();
      if (redis_times) {
        redis_times->Take(publication);
      }
      state.ResumeTiming();
    }
  }
  bench.ForgetCalls();
  ResetBuilder(b);
  state.counters["median_us"] = Percentile(samples, 0.5);
  state.counters["p99_us"] = Percentile(samples, 0.99);
  if (redis_times) {
    redis_times->Take(redis_samples);
    state.counters["redis_median_us"] = Percentile(redis_samples, 0.5);
    state.counters["redis_p99_us"] = Percentile(redis_samples, 0.99);
  }
}

// The floor of a grid's round trip: EVALSHA of a script that reads one hash
// field, through the same kind of connection the plug-in's link uses.
void EvalshaFloor(benchmark::State& state) {
  RedisConnection connection(Settings(Redis().Port()), std::chrono::milliseconds(100));
  const std::string key = "bench:floor";
  connection.Run(Command{"HSET", key, "total", "1"});
  const Reply sha =
      connection.Run(Command{"SCRIPT", "LOAD", "return redis.call('HGET', KEYS[1], ARGV[1])"});
  const Command call{"EVALSHA", std::string(sha->str, sha->len), "1", key, "total"};
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(connection.Run(call));
    samples.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  state.counters["median_us"] = Percentile(samples, 0.5);
}

// Whether and where a recount publishes.
enum class Publishing { kNoCluster, kIntoHeld, kIntoEmpty };

// The recount of the world, without a cluster or with this server's whole
// contribution published into a Redis that holds it already or that is
// empty: the game thread's part is timed; the counter "sent_ms" is how long
// the contribution then took to be in Redis, in the background.
void RecountAndPublishBench(benchmark::State& state, standin::WorldShape shape,
                            Publishing publishing) {
  ServerFor(shape);
  std::optional<ClusterFor> cluster;
  if (publishing != Publishing::kNoCluster) {
    cluster.emplace(true);
    AwaitPublication();
  }
  const bool empty = publishing == Publishing::kIntoEmpty;
  if (empty) {
    EmptyRedis();
  }
  std::vector<double> sent;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    cairnward::Recount();
    state.PauseTiming();
    AwaitPublication();
    sent.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    if (empty) {
      EmptyRedis();
    }
    state.ResumeTiming();
  }
  state.counters["teams"] = static_cast<double>(TeamTotals().size());
  if (publishing != Publishing::kNoCluster) {
    state.counters["sent_ms"] = Percentile(sent, 0.5);
  }
}

}  // namespace

void RegisterClusterBenches(std::int32_t actors, const RunShape& run) {
  for (const bool up : {true, false}) {
    run.ApplyTo(benchmark::RegisterBenchmark(up ? "cluster/build_check/final_allowed"
                                                : "cluster/build_check/final_allowed_link_down",
                                             ClusterBuildCheck, actors, up)
                    ->Unit(benchmark::kMicrosecond)
                    ->UseRealTime());
  }
  run.ApplyTo(benchmark::RegisterBenchmark("cluster/build_check/evalsha_floor", EvalshaFloor)
                  ->Unit(benchmark::kMicrosecond)
                  ->UseRealTime());
  const auto recount = [&](const char* name, const standin::WorldShape& shape,
                           Publishing publishing) {
    run.ApplyTo(benchmark::RegisterBenchmark(name, RecountAndPublishBench, shape, publishing)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime());
  };
  recount("cluster/recount_and_publish", ServerShape(actors), Publishing::kIntoHeld);
  recount("cluster/recount_and_first_publish", ServerShape(actors), Publishing::kIntoEmpty);
  // 40,000 teams on the largest world: taking the counts by team grows with them.
  standin::WorldShape many_teams = ServerShape(actors);
  many_teams.teams = 40'000;
  recount("cluster/recount_many_teams_no_cluster", many_teams, Publishing::kNoCluster);
  recount("cluster/recount_and_publish_many_teams", many_teams, Publishing::kIntoHeld);
}

}  // namespace cairnward::bench
