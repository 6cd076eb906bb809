#include "summary.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace cairnward::bench {

namespace {

constexpr std::int32_t kTargetWorld = 1'000'000;

std::string Time(double seconds) {
  if (std::isnan(seconds)) {
    return "-";
  }
  if (seconds >= 1e-3) {
    return fmt::format("{:.1f} ms", seconds * 1e3);
  }
  if (seconds >= 1e-6) {
    return fmt::format("{:.2f} us", seconds * 1e6);
  }
  return fmt::format("{:.0f} ns", seconds * 1e9);
}

std::string Bytes(double bytes) {
  return fmt::format("{:.1f} MiB", bytes / (1024.0 * 1024.0));
}

std::string Verdict(bool met) {
  return met ? "met" : "NOT MET";
}

std::string Thousands(std::int32_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) {
      grouped += ',';
    }
    grouped += digits[i];
  }
  return grouped;
}

// "1M", "10k": a world's size as the targets name it.
std::string Short(std::int32_t n) {
  if (n >= 1'000'000 && n % 1'000'000 == 0) {
    return fmt::format("{}M", n / 1'000'000);
  }
  if (n >= 1'000 && n % 1'000 == 0) {
    return fmt::format("{}k", n / 1'000);
  }
  return std::to_string(n);
}

double MedianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

void Print(const std::vector<SummaryRow>& rows) {
  std::size_t widths[4] = {4, 6, 6, 6};
  for (const SummaryRow& row : rows) {
    widths[0] = std::max(widths[0], row.what.size());
    widths[1] = std::max(widths[1], row.median.size());
    widths[2] = std::max(widths[2], row.target.size());
  }
  const auto line = [&](const SummaryRow& row) {
    std::cout << fmt::format("{:<{}}  {:>{}}  {:<{}}  {}\n", row.what, widths[0], row.median,
                             widths[1], row.target, widths[2], row.result);
  };
  line({"what", "median", "target", "result"});
  for (const SummaryRow& row : rows) {
    line(row);
  }
}

// The load tool's rows, from the summaries scripts/cluster-load wrote last
// (one per Redis version); it runs apart from the benchmarks, for minutes.
void AddClusterLoadRows(std::vector<SummaryRow>& rows) {
  const std::filesystem::path dir = CAIRNWARD_CLUSTER_LOAD_DIR;
  bool any = false;
  for (const char* version : {"7.0", "3.0"}) {
    std::ifstream file(dir / fmt::format("redis-{}.json", version));
    const nlohmann::json summary = nlohmann::json::parse(file, nullptr, false);
    if (!file.is_open() || summary.is_discarded() || !summary.contains("targets")) {
      continue;
    }
    any = true;
    const std::string redis = fmt::format(" (Redis {})", summary.value("redis_version", version));
    std::size_t checks = 0;
    std::size_t checks_met = 0;
    for (const nlohmann::json& target : summary.at("targets")) {
      const std::string what = target.value("what", "");
      const bool met = target.value("met", false);
      if (what.ends_with("final check")) {
        ++checks;
        checks_met += met ? 1 : 0;
        continue;
      }
      rows.push_back(
          {what + redis, target.value("measured", ""), target.value("target", ""), Verdict(met)});
    }
    rows.push_back({"cluster load, final checks" + redis,
                    fmt::format("{} of {} clean", checks_met, checks), "every aggregate the sum",
                    Verdict(checks > 0 && checks_met == checks)});
  }
  if (!any) {
    rows.push_back({"cluster load (busy hour, refill storm, Redis memory)", "-", "",
                    "not measured in this run: scripts/cluster-load"});
  }
}

}  // namespace

bool SummaryReporter::ReportContext(const Context& context) {
  std::cerr << fmt::format(
      "{} CPUs at {:.0f} MHz; load average {:.2f} {:.2f} {:.2f}\n", context.cpu_info.num_cpus,
      context.cpu_info.cycles_per_second / 1e6,
      context.cpu_info.load_avg.empty() ? 0.0 : context.cpu_info.load_avg[0],
      context.cpu_info.load_avg.size() < 2 ? 0.0 : context.cpu_info.load_avg[1],
      context.cpu_info.load_avg.size() < 3 ? 0.0 : context.cpu_info.load_avg[2]);
  return true;
}

void SummaryReporter::ReportRuns(const std::vector<Run>& report) {
  for (const Run& run : report) {
    if (run.run_type != Run::RT_Iteration) {
      continue;
    }
    const std::string& name = run.run_name.function_name;
    if (results_.find(name) == results_.end()) {
      order_.push_back(name);
    }
    Result& result = results_[name];
    if (run.error_occurred) {
      result.error = run.error_message;
      std::cerr << fmt::format("{}: {}\n", name, run.error_message);
      continue;
    }
    result.seconds.push_back(run.GetAdjustedRealTime() /
                             benchmark::GetTimeUnitMultiplier(run.time_unit));
    result.counters = run.counters;
    for (const auto& [counter, value] : run.counters) {
      result.counter_runs[counter].push_back(value.value);
    }
    std::cerr << fmt::format("  {:<28} {}\n", name, Time(result.seconds.back()));
  }
}

const SummaryReporter::Result* SummaryReporter::Find(const std::string& name) const {
  const auto it = results_.find(name);
  return it != results_.end() && it->second.error.empty() && !it->second.seconds.empty()
             ? &it->second
             : nullptr;
}

double SummaryReporter::Median(const std::string& name) const {
  const Result* result = Find(name);
  return result != nullptr ? MedianOf(result->seconds) : std::numeric_limits<double>::quiet_NaN();
}

double SummaryReporter::MedianCounter(const std::string& name, const std::string& counter) const {
  const Result* result = Find(name);
  if (result == nullptr || result->counter_runs.count(counter) == 0) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return MedianOf(result->counter_runs.at(counter));
}

std::vector<std::int32_t> SummaryReporter::WorldSizes() const {
  std::vector<std::int32_t> sizes;
  for (const std::string& name : order_) {
    if (name.rfind("recount/", 0) == 0) {
      sizes.push_back(std::stoi(name.substr(8)));
    }
  }
  return sizes;
}

void SummaryReporter::Finalize() {
  std::vector<SummaryRow> rows;
  AddRecountRows(rows);
  AddCheckRows(rows);
  AddClusterRows(rows);
  AddPublicationRows(rows);
  AddMemoryRows(rows);
  AddClusterLoadRows(rows);
  std::cout << '\n';
  Print(rows);
}

void SummaryReporter::AddRecountRows(std::vector<SummaryRow>& rows) const {
  for (const std::int32_t actors : WorldSizes()) {
    const std::string size = std::to_string(actors);
    const double recount = Median("recount/" + size);
    const double floor = Median("recount_floor/" + size);
    const double ratio = recount / floor;
    std::string result = fmt::format("{:.1f} ns/actor; {:.2f}x the floor ({})",
                                     recount / actors * 1e9, ratio, Time(floor));
    std::string target = "grows linearly";
    if (actors == kTargetWorld) {
      target = "<= 100 ms, <= 3x floor";
      result.insert(0, Verdict(recount <= 0.1 && ratio <= 3.0) + ": ");
    }
    rows.push_back({"recount, " + Thousands(actors) + " actors", Time(recount), target, result});
  }
}

void SummaryReporter::AddCheckRows(std::vector<SummaryRow>& rows) const {
  const double game = Median("build_check/game_alone");
  if (!std::isnan(game)) {
    rows.push_back({"build check, the game's function alone", Time(game), "", ""});
  }
  const auto added = [&](const std::string& name, const std::string& what, double limit,
                         const std::string& target) {
    const double hooked = Median("build_check/" + name);
    if (std::isnan(hooked)) {
      return;
    }
    const double cost = hooked - game;
    rows.push_back({what, Time(cost), target,
                    Verdict(cost <= limit) + fmt::format(" (hooked call {})", Time(hooked))});
  };
  added("not_final", "build check, added, not final", 100e-9, "<= 100 ns");
  added("final_allowed", "build check, added, final allowed", 2e-6, "<= 2 us");
  added("final_refused", "build check, added, final refused", 2e-6, "<= 2 us");

  const auto plain = [&](const std::string& name, const std::string& what, double limit,
                         const std::string& target) {
    const double median = Median(name);
    if (!std::isnan(median)) {
      rows.push_back({what, Time(median), target, Verdict(median <= limit)});
    }
  };
  plain("merge_check", "merge check, 300 ledger entries", 20e-6, "<= 20 us");
  plain("show_limits", "show-limits, 300 ledger entries", 1e-3, "<= 1 ms");
  if (const double over = Median("teams_over"); !std::isnan(over)) {
    rows.push_back({"cairnward.over, 300 ledger entries, 50 groups", Time(over), "",
                    fmt::format("{:.0f} of {:.0f} teams over a limit",
                                MedianCounter("teams_over", "teams_over"),
                                MedianCounter("teams_over", "teams"))});
  }
}

void SummaryReporter::AddClusterRows(std::vector<SummaryRow>& rows) const {
  const double cluster_median = MedianCounter("cluster/build_check/final_allowed", "median_us");
  if (!std::isnan(cluster_median)) {
    const double p99 = MedianCounter("cluster/build_check/final_allowed", "p99_us");
    rows.push_back({"final build check, cluster up, per call", Time(cluster_median * 1e-6),
                    "median <= 250 us, 99th <= 2 ms",
                    Verdict(cluster_median <= 250 && p99 <= 2000) +
                        fmt::format(" (99th percentile {})", Time(p99 * 1e-6))});
  }
  AddPlacementRows(rows);
  const double down = Median("cluster/build_check/final_allowed_link_down");
  const double local = Median("build_check/final_allowed");
  if (!std::isnan(down) && !std::isnan(local)) {
    rows.push_back(
        {"final build check, cluster link down", Time(down), "<= 1 us more than without",
         Verdict(down - local <= 1e-6) + fmt::format(" (without a cluster {})", Time(local))});
  }
  const std::string held = "cluster/recount_and_publish";
  if (const double median = Median(held); !std::isnan(median)) {
    rows.push_back(
        {"recount and publish, game thread", Time(median), "<= 500 ms",
         Verdict(median <= 0.5) +
             fmt::format(" (all in Redis after {})", Time(MedianCounter(held, "sent_ms") * 1e-3))});
  }

  const double alone = Median("cluster/recount_many_teams_no_cluster");
  const double published = Median("cluster/recount_and_publish_many_teams");
  if (!std::isnan(alone) && !std::isnan(published)) {
    rows.push_back(
        {fmt::format("recount and publish, {} teams, game thread",
                     Thousands(static_cast<std::int32_t>(
                         MedianCounter("cluster/recount_and_publish_many_teams", "teams")))),
         Time(published), "<= 1.2 x the recount without a cluster",
         Verdict(published <= 1.2 * alone) + fmt::format(" (without a cluster {})", Time(alone))});
  }
}

void SummaryReporter::AddPublicationRows(std::vector<SummaryRow>& rows) const {
  const std::vector<std::int32_t> sizes = WorldSizes();
  const std::string first = "cluster/recount_and_first_publish";
  if (const double game = Median(first); !std::isnan(game)) {
    const double all_in = MedianCounter(first, "sent_ms") * 1e-3;
    const std::string world = sizes.empty() ? "" : " " + Short(sizes.back()) + " actors,";
    rows.push_back(
        {"first publication," + world + " all in Redis", Time(all_in),
         "<= 500 ms (game thread <= 250 ms)",
         Verdict(all_in <= 0.5 && game <= 0.25) + fmt::format(" (game thread {})", Time(game))});
  }
  if (sizes.size() < 2) {
    return;
  }
  const auto ratio = [&](std::int32_t actors) {
    const std::string size = std::to_string(actors);
    return Median("recount/" + size) / Median("recount_floor/" + size);
  };
  const double large = ratio(sizes.back());
  const double small = ratio(sizes.front());
  rows.push_back({fmt::format("recount {} / {} actors vs prefetching floor", Short(sizes.back()),
                              Short(sizes.front())),
                  fmt::format("{:.2f}x / {:.2f}x", large, small), "<= 1.5x / <= 2x",
                  Verdict(large <= 1.5 && small <= 2.0)});
}

void SummaryReporter::AddMemoryRows(std::vector<SummaryRow>& rows) const {
  const std::vector<std::int32_t> sizes = WorldSizes();
  if (sizes.empty()) {
    return;
  }
  const std::string largest = std::to_string(sizes.back());
  if (const Result* recount = Find("recount/" + largest); recount != nullptr) {
    const std::string run = Thousands(sizes.back()) + "-actor recount run";
    rows.push_back({"peak resident memory, " + run,
                    Bytes(recount->counters.at("peak_rss_bytes").value), "", ""});
    rows.push_back({"held by the three containers after it",
                    Bytes(recount->counters.at("container_bytes").value), "", ""});
  }
}

void SummaryReporter::AddPlacementRows(std::vector<SummaryRow>& rows) const {
  const std::string placement = "cluster/build_check/final_allowed";
  const double redis_median = MedianCounter(placement, "redis_median_us");
  if (!std::isnan(redis_median)) {
    const double redis_p99 = MedianCounter(placement, "redis_p99_us");
    rows.push_back({"Redis time per final placement (median / p99)",
                    fmt::format("{:.0f} / {:.0f} us", redis_median, redis_p99), "<= 10 / <= 40 us",
                    Verdict(redis_median <= 10 && redis_p99 <= 40)});
  }
  const double round_trip = MedianCounter(placement, "median_us");
  const double floor = MedianCounter("cluster/build_check/evalsha_floor", "median_us");
  if (!std::isnan(round_trip) && !std::isnan(floor)) {
    rows.push_back(
        {"grid round trip, final placement, one grid", Time(round_trip * 1e-6),
         "<= 1.5x a one-field EVALSHA round trip",
         Verdict(round_trip <= 1.5 * floor) +
             fmt::format(" ({:.2f}x; EVALSHA {})", round_trip / floor, Time(floor * 1e-6))});
  }
}

void SummaryReporter::WriteScaling(const std::filesystem::path& file) const {
  std::ofstream out(file);
  out << "# actors recount_ms floor_ms\n";
  for (const std::int32_t actors : WorldSizes()) {
    const std::string size = std::to_string(actors);
    out << fmt::format("{} {:.4f} {:.4f}\n", actors, Median("recount/" + size) * 1e3,
                       Median("recount_floor/" + size) * 1e3);
  }
}

}  // namespace cairnward::bench
