#include <benchmark/benchmark.h>
#include <hiredis/hiredis.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "api/game_members.h"
#include "bench_server.h"
#include "benches.h"
#include "builder.h"
#include "cluster/cluster_counts.h"
#include "config/cluster_settings.h"
#include "counts/counts.h"
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
  std::vector<double> samples;
  std::int64_t done = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(CallCheck(check, b.allowed, b, true));
    samples.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    if (++done % kBatch == 0) {
      state.PauseTiming();
      bench.ForgetCalls();
      ResetBuilder(b);
      PublishContribution();
      AwaitPublication();
      state.ResumeTiming();
    }
  }
  bench.ForgetCalls();
  ResetBuilder(b);
  state.counters["median_us"] = Percentile(samples, 0.5);
  state.counters["p99_us"] = Percentile(samples, 0.99);
}

// The recount of the world with this server's whole contribution published,
// into a Redis that holds it already (`first` false) or that is empty: the
// game thread's part is timed; the counter "sent_ms" is how long the
// contribution then took to be in Redis, in the background.
void RecountAndPublishBench(benchmark::State& state, std::int32_t actors, bool first) {
  ServerFor(ServerShape(actors));
  const ClusterFor cluster(true);
  AwaitPublication();
  if (first) {
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
    if (first) {
      EmptyRedis();
    }
    state.ResumeTiming();
  }
  state.counters["teams"] = static_cast<double>(TeamTotals().size());
  state.counters["sent_ms"] = Percentile(sent, 0.5);
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
  for (const bool first : {false, true}) {
    run.ApplyTo(benchmark::RegisterBenchmark(
                    first ? "cluster/recount_and_first_publish" : "cluster/recount_and_publish",
                    RecountAndPublishBench, actors, first)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime());
  }
}

}  // namespace cairnward::bench
