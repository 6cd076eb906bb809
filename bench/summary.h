#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace cairnward::bench {

// One line of the summary table.
struct SummaryRow {
  std::string what;
  std::string median;
  std::string target;
  std::string result;
};

// Collects every repetition of every benchmark and, at the end, prints one
// table of medians against the targets, with each recount set beside the
// floor measured on the same world in the same run.
class SummaryReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& report) override;
  void Finalize() override;

  // Writes "actors recount_ms floor_ms" lines for the scaling plot.
  void WriteScaling(const std::filesystem::path& file) const;

 private:
  struct Result {
    std::vector<double> seconds;       // real time per iteration, one per repetition
    benchmark::UserCounters counters;  // of the last repetition
    std::map<std::string, std::vector<double>> counter_runs;  // every repetition's
    std::string error;
  };

  [[nodiscard]] const Result* Find(const std::string& name) const;
  [[nodiscard]] double Median(const std::string& name) const;  // seconds; NaN when absent
  // The median over the repetitions of one of a benchmark's counters; NaN when absent.
  [[nodiscard]] double MedianCounter(const std::string& name, const std::string& counter) const;
  [[nodiscard]] std::vector<std::int32_t> WorldSizes() const;
  // The final placement's cost to Redis and its round trip against the floor.
  void AddPlacementRows(std::vector<SummaryRow>& rows) const;

  // The table's sections, in the order printed.
  void AddRecountRows(std::vector<SummaryRow>& rows) const;
  void AddCheckRows(std::vector<SummaryRow>& rows) const;
  void AddClusterRows(std::vector<SummaryRow>& rows) const;
  // The first publication into an empty Redis, and the recount against its
  // floor at the smallest and the largest world.
  void AddPublicationRows(std::vector<SummaryRow>& rows) const;
  void AddMemoryRows(std::vector<SummaryRow>& rows) const;

  std::map<std::string, Result> results_;
  std::vector<std::string> order_;
};

}  // namespace cairnward::bench
