#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace cairnward::bench {

// How each benchmark runs: `repetitions` times, each for as many iterations
// as Google Benchmark finds worth it, or exactly `iterations` when that is
// not 0 (for instruction counts under callgrind).
struct RunShape {
  int repetitions = 5;
  benchmark::IterationCount iterations = 0;

  void ApplyTo(benchmark::internal::Benchmark* bench) const {
    bench->Repetitions(repetitions);
    if (iterations > 0) {
      bench->Iterations(iterations);
    }
  }
};

// Each pair in turn: the recount of a world of that many actors, then the
// floor on the same world.
void RegisterRecountBenches(const std::vector<std::int32_t>& world_sizes, const RunShape& run);

// The build check, the merge check, show-limits and cairnward.over on a world
// of that many actors.
void RegisterHookBenches(std::int32_t actors, const RunShape& run);

// The final build check with a cluster's link up (Redis on loopback) and
// down, and the recount with its publication, on a world of that many actors.
void RegisterClusterBenches(std::int32_t actors, const RunShape& run);

}  // namespace cairnward::bench
