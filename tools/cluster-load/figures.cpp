#include "figures.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace cluster_load {
namespace {

// The targets of a 400-grid cluster (docs/cluster.md).
constexpr double kBusyCpuShare = 0.10;
constexpr double kBusyP99Ms = 2.0;
constexpr double kRefillSeconds = 30.0;
constexpr double kRefillP99Ms = 5.0;
constexpr double kDataBytes = 220e6;
// Placements judged by a grid's local counts (its link down, or out of time)
// that still let the latency speak for the cluster.
constexpr double kLocalShare = 0.01;

double MiB(std::int64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

const ScenarioFigures* Find(const Figures& figures, Scenario scenario) {
  for (const ScenarioFigures& s : figures.scenarios) {
    if (s.scenario == scenario) {
      return &s;
    }
  }
  return nullptr;
}

double PerSecond(std::int64_t n, double seconds) {
  return seconds > 0 ? static_cast<double>(n) / seconds : 0;
}

nlohmann::ordered_json SpreadJson(const Spread& spread) {
  return {{"count", spread.count},
          {"p50_ms", spread.p50_ms},
          {"p99_ms", spread.p99_ms},
          {"max_ms", spread.max_ms}};
}

nlohmann::ordered_json ScenarioJson(const ScenarioFigures& s) {
  const Activity& a = s.activity;
  nlohmann::ordered_json commands = nlohmann::ordered_json::object();
  for (const auto& [name, time] : s.commands) {
    commands[name] = {
        {"calls", time.calls},
        {"usec", time.usec},
        {"usec_per_call", static_cast<double>(time.usec) / static_cast<double>(time.calls)}};
  }
  return {{"scenario", NameOf(s.scenario)},
          {"seconds", s.seconds},
          {"placements",
           {{"allowed", a.allowed},
            {"refused", a.refused},
            {"judged_locally", a.judged_locally},
            {"per_second", PerSecond(a.allowed + a.refused + a.judged_locally, s.seconds)}}},
          {"removals", a.removals},
          {"standings", a.standings},
          {"merge_checks", a.merge_checks},
          {"joins", a.joins},
          {"placement_latency", SpreadJson(a.placement)},
          {"schedule_lag", SpreadJson(a.lag)},
          {"redis_cpu_share", s.redis_cpu_share},
          {"redis_commands", commands},
          {"all_in_seconds", s.all_in_seconds ? nlohmann::ordered_json(*s.all_in_seconds)
                                              : nlohmann::ordered_json(nullptr)},
          {"link_downs", s.link_downs},
          {"link_downs_in_flush", s.link_downs_in_flush},
          {"redis_longest_ms", s.redis_longest_ms},
          {"link_backs", s.link_backs},
          {"down_reasons", s.down_reasons},
          {"used_memory", s.used_memory},
          {"check",
           {{"done", s.check.done},
            {"teams", s.check.teams},
            {"differing", s.check.differing},
            {"summary", s.check.summary}}}};
}

// A placement judged by the grid's local counts never waits on Redis: a
// latency of those says nothing of the cluster's.
double LocalShare(const Activity& a) {
  const std::int64_t all = a.allowed + a.refused + a.judged_locally;
  return all > 0 ? static_cast<double>(a.judged_locally) / static_cast<double>(all) : 0;
}

bool ByCluster(const Activity& a) {
  return LocalShare(a) <= kLocalShare;
}

std::string PlacementP99(const Activity& a) {
  return fmt::format("{:.2f} ms, {:.0f}% local", a.placement.p99_ms, LocalShare(a) * 100);
}

}  // namespace

std::string ScenarioTable(const Plan& plan, const ScenarioFigures& s) {
  std::string out;
  const Activity& a = s.activity;
  const std::int64_t placements = a.allowed + a.refused + a.judged_locally;
  out += fmt::format("\n{} ({:.1f} s)\n", NameOf(s.scenario), s.seconds);
  out += fmt::format(
      "  placements        {:.0f}/s ({} allowed, {} refused, {} judged locally); planned "
      "{:.0f}/s\n",
      PerSecond(placements, s.seconds), a.allowed, a.refused, a.judged_locally,
      plan.grids * plan.builders * 1000.0 / static_cast<double>(plan.placement_period.count()));
  out += fmt::format("  other calls       {} removals, {} standings, {} merge checks, {} joins\n",
                     a.removals, a.standings, a.merge_checks, a.joins);
  out += fmt::format("  grid placement    p50 {:.3f} ms, p99 {:.3f} ms, max {:.1f} ms\n",
                     a.placement.p50_ms, a.placement.p99_ms, a.placement.max_ms);
  out += fmt::format("  schedule lag      p99 {:.1f} ms, max {:.1f} ms (the generator's own)\n",
                     a.lag.p99_ms, a.lag.max_ms);
  out += fmt::format("  Redis CPU         {:.1f}% of one core\n", s.redis_cpu_share * 100);
  if (s.all_in_seconds) {
    out += fmt::format("  all in after      {:.2f} s\n", *s.all_in_seconds);
  } else if (s.scenario != Scenario::kBusyHour) {
    out += "  all in after      not within the storm's limit\n";
  }
  out += fmt::format(
      "  Redis held        {}\n",
      s.redis_longest_ms > 0
          ? fmt::format("its thread {} ms at the longest (latency monitor)", s.redis_longest_ms)
          : fmt::format("its thread under {} ms every time (latency monitor)",
                        kLatencyThresholdMs));
  out += fmt::format("  link              {} down, {} back", s.link_downs, s.link_backs);
  out += s.link_downs_in_flush > 0
             ? fmt::format(" ({} down while FLUSHALL held Redis)\n", s.link_downs_in_flush)
             : "\n";
  for (const std::string& reason : s.down_reasons) {
    out += fmt::format("    down: {}\n", reason);
  }
  out += fmt::format("  Redis memory      {:.1f} MiB used at the end\n", MiB(s.used_memory));
  out += "  Redis time by command (calls, µs per call, share of the load's wall time):\n";
  for (const auto& [name, time] : s.commands) {
    out += fmt::format("    {:<14} {:>9} {:>9.1f} {:>6.1f}%\n", name, time.calls,
                       static_cast<double>(time.usec) / static_cast<double>(time.calls),
                       s.seconds > 0 ? static_cast<double>(time.usec) / 1e4 / s.seconds : 0.0);
  }
  out += fmt::format("  final check       {}\n", s.check.summary);
  return out;
}

Spread SpreadOf(std::vector<float> microseconds) {
  Spread spread;
  spread.count = microseconds.size();
  if (microseconds.empty()) {
    return spread;
  }
  std::sort(microseconds.begin(), microseconds.end());
  const auto at = [&](double q) {
    const auto i = static_cast<std::size_t>(q * static_cast<double>(microseconds.size() - 1));
    return microseconds[i] / 1e3;
  };
  spread.p50_ms = at(0.50);
  spread.p99_ms = at(0.99);
  spread.max_ms = microseconds.back() / 1e3;
  return spread;
}

namespace {

void AddBusyVerdicts(const Plan& plan, const Figures& figures, std::vector<Verdict>& verdicts) {
  const ScenarioFigures* busy = Find(figures, Scenario::kBusyHour);
  if (busy == nullptr) {
    return;
  }
  const std::string size = fmt::format("{} grids", plan.grids);
  verdicts.push_back({"busy hour, " + size + ": Redis CPU",
                      fmt::format("{:.1f}% of one core", busy->redis_cpu_share * 100),
                      "<= 10% of one core", busy->redis_cpu_share <= kBusyCpuShare});
  verdicts.push_back({"busy hour, " + size + ": grid placement p99", PlacementP99(busy->activity),
                      "<= 2 ms, by the cluster",
                      ByCluster(busy->activity) && busy->activity.placement.p99_ms <= kBusyP99Ms});
}

void AddRefillVerdicts(const Plan& plan, const Figures& figures, std::vector<Verdict>& verdicts) {
  const ScenarioFigures* refill = Find(figures, Scenario::kRefillStorm);
  if (refill == nullptr) {
    return;
  }
  const auto contributions =
      static_cast<std::int64_t>(plan.grids) * static_cast<std::int64_t>(plan.teams_per_grid);
  verdicts.push_back(
      {fmt::format("refill storm, {} contributions: all in", contributions),
       refill->all_in_seconds ? fmt::format("{:.1f} s", *refill->all_in_seconds) : "never",
       "<= 30 s", refill->all_in_seconds && *refill->all_in_seconds <= kRefillSeconds});
  // A blocking FLUSHALL (Redis 3.0 has no other) stalls every grid's call
  // in flight: those downs are the flush's, not the refill's.
  const int refill_downs = refill->link_downs - refill->link_downs_in_flush;
  verdicts.push_back(
      {"refill storm: link flaps after the flush",
       refill->link_downs_in_flush > 0
           ? fmt::format("{} (and {} in the flush)", refill_downs, refill->link_downs_in_flush)
           : fmt::format("{}", refill_downs),
       "0", refill_downs == 0});
  verdicts.push_back(
      {"refill storm: grid placement p99", PlacementP99(refill->activity),
       "<= 5 ms, by the cluster",
       ByCluster(refill->activity) && refill->activity.placement.p99_ms <= kRefillP99Ms});
}

// Read once the grids have disconnected after the last scenario, with its
// final check's count of teams in Redis.
void AddMemoryVerdict(const Plan& plan, const Figures& figures, std::vector<Verdict>& verdicts) {
  if (figures.scenarios.empty() || figures.used_memory_data == 0) {
    return;
  }
  const std::int64_t data = figures.used_memory_data - figures.used_memory_empty;
  verdicts.push_back(
      {fmt::format("Redis memory for the {} grids' data ({} teams), the grids disconnected",
                   plan.grids, figures.scenarios.back().check.teams),
       fmt::format("{:.1f} MB ({:.1f} MiB)", static_cast<double>(data) / 1e6, MiB(data)),
       "<= 220 MB", static_cast<double>(data) <= kDataBytes});
}

}  // namespace

std::vector<Verdict> Verdicts(const Plan& plan, const Figures& figures) {
  std::vector<Verdict> verdicts;
  for (const ScenarioFigures& s : figures.scenarios) {
    verdicts.push_back({NameOf(s.scenario) + ": final check",
                        fmt::format("{} of {} teams differ", s.check.differing, s.check.teams),
                        "0 differ", s.check.done && s.check.differing == 0});
  }
  AddBusyVerdicts(plan, figures, verdicts);
  AddRefillVerdicts(plan, figures, verdicts);
  AddMemoryVerdict(plan, figures, verdicts);
  return verdicts;
}

std::string Heading(const Plan& plan, const Figures& figures) {
  return fmt::format(
      "cairnward-cluster-load: {} grids x {} builders, {} teams per grid, on Redis {}\n",
      plan.grids, plan.builders, plan.teams_per_grid, figures.redis_version);
}

std::string TargetsTable(const Plan& plan, const Figures& figures) {
  std::string out = "\ntargets\n";
  for (const Verdict& v : Verdicts(plan, figures)) {
    out += fmt::format("  {:<60} {:>22}  {:<24} {}\n", v.what, v.measured, v.target,
                       v.met ? "met" : "NOT MET");
  }
  return out;
}

nlohmann::ordered_json Json(const Plan& plan, const Figures& figures) {
  nlohmann::ordered_json scenarios = nlohmann::ordered_json::array();
  for (const ScenarioFigures& s : figures.scenarios) {
    scenarios.push_back(ScenarioJson(s));
  }
  nlohmann::ordered_json verdicts = nlohmann::ordered_json::array();
  for (const Verdict& v : Verdicts(plan, figures)) {
    verdicts.push_back(
        {{"what", v.what}, {"measured", v.measured}, {"target", v.target}, {"met", v.met}});
  }
  return {{"grids", plan.grids},
          {"builders", plan.builders},
          {"teams_per_grid", plan.teams_per_grid},
          {"grids_per_team", plan.grids_per_team},
          {"threads", plan.threads},
          {"redis_version", figures.redis_version},
          {"used_memory_empty", figures.used_memory_empty},
          {"used_memory_data", figures.used_memory_data},
          {"scenarios", scenarios},
          {"targets", verdicts}};
}

}  // namespace cluster_load
