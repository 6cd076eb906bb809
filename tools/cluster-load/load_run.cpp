#include "load_run.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <queue>
#include <random>
#include <set>
#include <thread>

#include "cluster/repair.h"
#include "grid.h"
#include "shape.h"

namespace cluster_load {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr std::string_view kClusterName = "cluster-load";
constexpr milliseconds kControlTimeout{120'000};
constexpr milliseconds kPoll{20};
constexpr std::size_t kReasonsKept = 5;

enum class Kind { kPlace, kRemove, kStanding, kMergeCheck, kJoin };

struct Event {
  Clock::time_point due;
  std::size_t grid = 0;
  Kind kind = Kind::kPlace;
  bool operator>(const Event& other) const { return due > other.due; }
};

// What one thread of the load saw.
struct Tally {
  Activity counts;
  std::vector<float> placement_us;
  std::vector<float> lag_us;
};

cairnward::ClusterSettings SettingsFor(const Plan& plan, const std::string& server) {
  nlohmann::json cluster = {
      {"Host", plan.host}, {"Port", plan.port}, {"Name", kClusterName}, {"Server", server}};
  if (plan.timeout.count() > 0) {
    cluster["TimeoutMs"] = plan.timeout.count();
  }
  return *cairnward::ParseClusterSettings(nlohmann::json{{"Cluster", cluster}});
}

std::string GridName(int index) {
  return fmt::format("G{:04}", index);
}

float MicrosecondsOf(Clock::duration d) {
  return std::chrono::duration<float, std::micro>(d).count();
}

struct LinkCounts {
  int downs = 0;
  int backs = 0;
  std::vector<std::string> reasons;
};

class LoadRun {
 public:
  explicit LoadRun(const Plan& plan)
      : plan_(plan), shape_(plan), control_(SettingsFor(plan, "control"), kControlTimeout) {}

  Figures Run(const std::function<void(const Figures&)>& done);

 private:
  ScenarioFigures RunScenario(Scenario scenario);
  [[nodiscard]] LinkCounts Links() const;
  std::vector<Tally> Play(Scenario scenario, ScenarioFigures& figures, Clock::time_point limit);
  // Runs the grids' load until `stop`; each thread loads its grids first
  // when `load` is set.
  void Drive(std::size_t worker, bool load, const std::atomic<bool>& stop, Tally& tally);
  std::vector<Event> Schedule(std::size_t worker, Clock::time_point start,
                              std::mt19937_64& random) const;
  [[nodiscard]] milliseconds IntervalOf(Kind kind) const;
  void Act(Grid& grid, Kind kind, std::mt19937_64& random, Tally& tally) const;
  bool AllIn(std::chrono::system_clock::time_point since);
  void WaitAllIn(std::chrono::system_clock::time_point since, Clock::time_point limit);
  CheckFigures Check();
  // Empties Redis; the link downs until the flush is over go to `figures`.
  void Empty(ScenarioFigures& figures);

  Plan plan_;
  Shape shape_;
  cairnward::RedisConnection control_;
  std::string version_;
  std::vector<std::unique_ptr<Grid>> grids_;
};

milliseconds LoadRun::IntervalOf(Kind kind) const {
  const milliseconds place = plan_.placement_period / std::max(plan_.builders, 1);
  switch (kind) {
    case Kind::kPlace:
      return place;
    case Kind::kRemove:
      return place * 10;  // removals at a tenth of the placements
    case Kind::kStanding:
    case Kind::kMergeCheck:
      return milliseconds(1000);
    case Kind::kJoin:
      break;
  }
  return milliseconds(60'000LL * plan_.grids / std::max(plan_.joins_per_minute, 1));
}

std::vector<Event> LoadRun::Schedule(std::size_t worker, Clock::time_point start,
                                     std::mt19937_64& random) const {
  std::vector<Event> events;
  std::vector<Kind> kinds{Kind::kPlace, Kind::kRemove, Kind::kStanding, Kind::kMergeCheck};
  if (plan_.joins_per_minute > 0) {
    kinds.push_back(Kind::kJoin);
  }
  for (std::size_t g = worker; g < grids_.size(); g += static_cast<std::size_t>(plan_.threads)) {
    for (const Kind kind : kinds) {
      // Each grid starts at a phase of its own, so that the grids do not act in step.
      const auto interval = IntervalOf(kind).count();
      events.push_back(
          {start + milliseconds(static_cast<long long>(
                       random() % static_cast<std::uint64_t>(std::max<long long>(interval, 1)))),
           g, kind});
    }
  }
  return events;
}

void LoadRun::Act(Grid& grid, Kind kind, std::mt19937_64& random, Tally& tally) const {
  Activity& counts = tally.counts;
  switch (kind) {
    case Kind::kPlace: {
      const Clock::time_point began = Clock::now();
      const Judged judged = grid.Place(random);
      tally.placement_us.push_back(MicrosecondsOf(Clock::now() - began));
      (judged == Judged::kAllowed   ? counts.allowed
       : judged == Judged::kRefused ? counts.refused
                                    : counts.judged_locally) += 1;
      break;
    }
    case Kind::kRemove:
      grid.Remove(random);
      counts.removals += 1;
      break;
    case Kind::kStanding:
      grid.ReadStanding(random);
      counts.standings += 1;
      break;
    case Kind::kMergeCheck:
      grid.CheckMerge(random);
      counts.merge_checks += 1;
      break;
    case Kind::kJoin:
      grid.Join(random);
      counts.joins += 1;
      break;
  }
}

void LoadRun::Drive(std::size_t worker, bool load, const std::atomic<bool>& stop, Tally& tally) {
  std::mt19937_64 random(worker * 7919 + 17);
  if (load) {
    for (std::size_t g = worker; g < grids_.size() && !stop;
         g += static_cast<std::size_t>(plan_.threads)) {
      grids_[g]->Load();
    }
  }
  std::priority_queue<Event, std::vector<Event>, std::greater<>> queue(
      std::greater<>(), Schedule(worker, Clock::now(), random));
  while (!stop && !queue.empty()) {
    Event event = queue.top();
    queue.pop();
    // Short sleeps, so that the end is noticed at once.
    while (!stop && Clock::now() < event.due) {
      std::this_thread::sleep_for(std::min<Clock::duration>(event.due - Clock::now(), kPoll));
    }
    if (stop) {
      break;
    }
    tally.lag_us.push_back(MicrosecondsOf(Clock::now() - event.due));
    Act(*grids_[event.grid], event.kind, random, tally);
    event.due += IntervalOf(event.kind);
    queue.push(event);
  }
}

bool LoadRun::AllIn(std::chrono::system_clock::time_point since) {
  return std::all_of(grids_.begin(), grids_.end(),
                     [&](const std::unique_ptr<Grid>& grid) { return grid->AllIn(since); });
}

void LoadRun::WaitAllIn(std::chrono::system_clock::time_point since, Clock::time_point limit) {
  while (!AllIn(since) && Clock::now() < limit) {
    std::this_thread::sleep_for(kPoll);
  }
}

CheckFigures LoadRun::Check() {
  const cairnward::KeyNames keys(kClusterName, GridName(0));
  const cairnward::RepairReport report = cairnward::CheckCluster(control_, keys);
  return {report.done, report.teams, report.teams_differing, report.summary};
}

Activity Combined(std::vector<Tally>& tallies) {
  Activity all;
  std::vector<float> placement;
  std::vector<float> lag;
  for (Tally& t : tallies) {
    all.allowed += t.counts.allowed;
    all.refused += t.counts.refused;
    all.judged_locally += t.counts.judged_locally;
    all.removals += t.counts.removals;
    all.standings += t.counts.standings;
    all.merge_checks += t.counts.merge_checks;
    all.joins += t.counts.joins;
    placement.insert(placement.end(), t.placement_us.begin(), t.placement_us.end());
    lag.insert(lag.end(), t.lag_us.begin(), t.lag_us.end());
  }
  all.placement = SpreadOf(std::move(placement));
  all.lag = SpreadOf(std::move(lag));
  return all;
}

// The grids' link downs and backs so far, and a few of the reasons.
// Empties Redis at once. FLUSHALL of 250,000 keys holds Redis for 150-400
// ms, a stall no grid rides through within its TimeoutMs, so where Redis
// has it (4.0 on) the keys are freed in the background; the link downs
// that Redis 3.0's flush causes itself are counted apart.
void LoadRun::Empty(ScenarioFigures& figures) {
  const bool in_background = std::atoi(version_.c_str()) >= 4;
  const int before = Links().downs;
  control_.Run(in_background ? cairnward::Command{"FLUSHALL", "ASYNC"}
                             : cairnward::Command{"FLUSHALL"});
  // A call in flight when the flush began fails within TimeoutMs of it.
  std::this_thread::sleep_for(SettingsFor(plan_, "control").timeout + milliseconds(10));
  figures.link_downs_in_flush = Links().downs - before;
}

LinkCounts LoadRun::Links() const {
  LinkCounts counts;
  std::set<std::string> reasons;
  for (const auto& grid : grids_) {
    counts.downs += grid->Downs();
    counts.backs += grid->Backs();
    if (grid->Downs() > 0 && reasons.size() < kReasonsKept) {
      reasons.insert(grid->LastReason());
    }
  }
  counts.reasons.assign(reasons.begin(), reasons.end());
  return counts;
}

// Drives the grids through the scenario until it is over or its limit
// passes, noting how long it took and when every contribution was in.
std::vector<Tally> LoadRun::Play(Scenario scenario, ScenarioFigures& figures,
                                 Clock::time_point limit) {
  const auto since = std::chrono::system_clock::now();
  const Clock::time_point start = Clock::now();
  std::atomic<bool> stop{false};
  std::vector<Tally> tallies(static_cast<std::size_t>(plan_.threads));
  std::vector<std::thread> threads;
  for (std::size_t w = 0; w < tallies.size(); ++w) {
    threads.emplace_back(
        [&, w] { Drive(w, scenario == Scenario::kRestartStorm, stop, tallies[w]); });
  }
  if (scenario == Scenario::kRefillStorm) {
    Empty(figures);
  }
  if (scenario == Scenario::kBusyHour) {
    std::this_thread::sleep_for(plan_.duration);
  } else {
    WaitAllIn(since, limit);
    if (AllIn(since)) {
      figures.all_in_seconds = duration<double>(Clock::now() - start).count();
    }
  }
  stop = true;
  for (std::thread& thread : threads) {
    thread.join();
  }
  figures.seconds = duration<double>(Clock::now() - start).count();
  return tallies;
}

ScenarioFigures LoadRun::RunScenario(Scenario scenario) {
  ScenarioFigures figures;
  figures.scenario = scenario;
  const LinkCounts links_before = Links();
  const RedisStats before = ReadStats(control_);
  TakeLongestLatency(control_);
  const Clock::time_point limit = Clock::now() + plan_.storm_limit;
  std::vector<Tally> tallies = Play(scenario, figures, limit);
  const RedisStats after = ReadStats(control_);
  figures.redis_longest_ms = TakeLongestLatency(control_);
  figures.activity = Combined(tallies);
  figures.redis_cpu_share = (after.cpu_seconds - before.cpu_seconds) / figures.seconds;
  figures.commands = CommandsBetween(before, after);
  const LinkCounts links_after = Links();
  figures.link_downs = links_after.downs - links_before.downs;
  figures.link_backs = links_after.backs - links_before.backs;
  figures.down_reasons = links_after.reasons;
  // What the load sent last is in before Redis is measured and checked,
  // within the storm's limit (the busy hour's: after it).
  WaitAllIn({}, std::max(limit, Clock::now() + plan_.storm_limit / 4));
  figures.used_memory = ReadStats(control_).used_memory;
  figures.check = Check();
  return figures;
}

Figures LoadRun::Run(const std::function<void(const Figures&)>& done) {
  Figures figures;
  control_.Run(cairnward::Command{"FLUSHALL"});
  StartLatencyMonitor(control_);
  const RedisStats empty = ReadStats(control_);
  figures.redis_version = empty.version;
  version_ = empty.version;
  figures.used_memory_empty = empty.used_memory;
  for (int g = 0; g < plan_.grids; ++g) {
    grids_.push_back(std::make_unique<Grid>(shape_, SettingsFor(plan_, GridName(g)), g));
  }
  const auto wanted = [&](Scenario s) {
    return std::find(plan_.scenarios.begin(), plan_.scenarios.end(), s) != plan_.scenarios.end();
  };
  const auto run = [&](Scenario s) {
    figures.scenarios.push_back(RunScenario(s));
    if (done) {
      done(figures);
    }
  };
  if (wanted(Scenario::kRestartStorm)) {
    run(Scenario::kRestartStorm);
  } else {
    const auto since = std::chrono::system_clock::now();
    for (const auto& grid : grids_) {
      grid->Load();
    }
    WaitAllIn(since, Clock::now() + plan_.storm_limit);
  }
  for (const Scenario s : {Scenario::kBusyHour, Scenario::kRefillStorm}) {
    if (wanted(s)) {
      run(s);
    }
  }
  grids_.clear();
  // Redis closes the grids' connections as it reads them: PING waits that out.
  control_.Run(cairnward::Command{"PING"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  figures.used_memory_data = ReadStats(control_).used_memory;
  return figures;
}

}  // namespace

Figures RunLoad(const Plan& plan, const std::function<void(const Figures&)>& done) {
  return LoadRun(plan).Run(done);
}

}  // namespace cluster_load
