#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_server.h"
#include "benches.h"
#include "summary.h"

// The plug-in's benchmarks on worlds of a live server's size. Own options,
// before Google Benchmark's:
//   --smoke              tiny worlds and one repetition: proves the benchmarks run
//   --scaling=FILE       writes the recount times per world size for the plot
//   --repetitions=N      repetitions of each benchmark (default 5)
//   --iterations=N       exactly N iterations in each repetition, for counting
//                        instructions under callgrind
int main(int argc, char** argv) {
  bool smoke = false;
  std::string scaling;
  cairnward::bench::RunShape run;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--smoke") {
      smoke = true;
      run.repetitions = 1;
    } else if (arg.rfind("--scaling=", 0) == 0) {
      scaling = arg.substr(std::strlen("--scaling="));
    } else if (arg.rfind("--repetitions=", 0) == 0) {
      run.repetitions = std::stoi(arg.substr(std::strlen("--repetitions=")));
    } else if (arg.rfind("--iterations=", 0) == 0) {
      run.iterations = std::stoll(arg.substr(std::strlen("--iterations=")));
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) {
    return 2;
  }

  const std::vector<std::int32_t> sizes =
      smoke ? std::vector<std::int32_t>{1'500, 3'000}
            : std::vector<std::int32_t>{10'000, 100'000, 250'000, 500'000, 750'000, 1'000'000};
  cairnward::bench::RegisterRecountBenches(sizes, run);
  cairnward::bench::RegisterHookBenches(sizes.back(), run);
  cairnward::bench::RegisterClusterBenches(sizes.back(), run);

  cairnward::bench::SummaryReporter summary;
  benchmark::RunSpecifiedBenchmarks(&summary);
  cairnward::bench::ShutDownServer();
  if (!scaling.empty()) {
    summary.WriteScaling(scaling);
  }
  benchmark::Shutdown();
  return 0;
}
