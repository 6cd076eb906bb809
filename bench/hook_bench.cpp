#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/recount.h"
#include "api/game_members.h"
#include "bench_server.h"
#include "benches.h"
#include "config/config.h"
#include "messages/commands.h"
#include "standin/game_actions.h"

namespace cairnward::bench {
namespace {

// Housekeeping between batches of calls, off the clock. A batch of allowed
// placements must stay below the limit they are placed under.
constexpr std::int64_t kBatch = 100;

template <typename Call, typename Tidy>
void RunBatched(benchmark::State& state, Call&& call, Tidy&& tidy) {
  std::int64_t done = 0;
  for (auto _ : state) {
    call();
    if (++done % kBatch == 0) {
      state.PauseTiming();
      tidy();
      state.ResumeTiming();
    }
  }
}

// A player of one of the world's teams, about to place structures of the
// limited classes, as the game calls the build check on them.
struct Builder {
  standin::SimPlayerController* player = nullptr;
  std::int32_t team = 0;
  APrimalStructure* allowed = nullptr;  // under its limit
  APrimalStructure* refused = nullptr;  // at its limit
  FString allowed_path;
  std::int32_t allowed_count = 0;
  std::int32_t total = 0;
  std::vector<std::int32_t> group_counts;  // of the allowed blueprint's groups
};

APrimalStructure* DefaultObjectOf(standin::World& world, const std::string& object_path) {
  return standin::AsGame<APrimalStructure>(world.BlueprintClass(object_path)->default_object);
}

std::int32_t& CountOf(const std::string& object_path, std::int32_t team) {
  const std::u16string path = ArkApi::Tools::Utf8Decode(BlueprintPath(object_path));
  TeamCounts* counts = FindLedgerEntry(path);
  if (counts == nullptr) {
    throw std::logic_error("no ledger entry for " + object_path);
  }
  return (*counts)[team];
}

Builder MakeBuilder(BenchServer& bench) {
  bench.EnsureCounted();
  Builder b;
  b.team = bench.Generated().teams.front();
  // No admin, neither flagged nor at the total limit.
  b.player = bench.World().FindPlayer("Builder");
  if (b.player == nullptr) {
    b.player = bench.World().AddPlayer("Builder", 76561198000000042ULL, b.team);
  }
  // Within every limit of its own, so that nothing flags it.
  Ledger& ledger = StructureLedger();
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    std::int32_t& count = entry->second[b.team];
    count = std::min(count, ledger.LimitOf(entry, entry->first.View()));
    ledger.MarksOf(entry).Set(b.team, false, TeamLimitExceeded());
  }
  TeamTotals()[b.team] = std::min(TeamTotals()[b.team],
                                  BenchServer::kMaxAmount - static_cast<std::int32_t>(2 * kBatch));
  // The highest limit for the allowed placement, the last class for the refused one.
  const std::vector<std::string>& limited = bench.Limited();
  const std::size_t allowed = 7;
  const std::size_t refused = limited.size() - 1;
  b.allowed = DefaultObjectOf(bench.World(), limited[allowed]);
  b.refused = DefaultObjectOf(bench.World(), limited[refused]);
  b.allowed_path = FString(ArkApi::Tools::Utf8Decode(BlueprintPath(limited[allowed])));
  CountOf(limited[allowed], b.team) = 0;
  CountOf(limited[refused], b.team) = BenchServer::LimitOf(refused);
  b.allowed_count = 0;
  b.total = TeamTotals()[b.team];
  for (const std::uint32_t group : Limits().GroupsOf(b.allowed_path.View())) {
    b.group_counts.push_back(GroupCounts().counts[group][b.team]);
  }
  return b;
}

// Puts the builder's counts back where the allowed placements found them.
void ResetBuilder(const Builder& b) {
  (*FindLedgerEntry(b.allowed_path.View()))[b.team] = b.allowed_count;
  TeamTotals()[b.team] = b.total;
  const auto groups = Limits().GroupsOf(b.allowed_path.View());
  for (std::size_t i = 0; i < groups.size(); ++i) {
    GroupCounts().counts[groups[i]][b.team] = b.group_counts[i];
  }
}

using BuildCheck = int (*)(APrimalStructure*, APlayerController*, FVector, FRotator,
                           FPlacementData*, bool, FRotator, bool, void*, void*);

int CallCheck(BuildCheck check, APrimalStructure* structure, const Builder& b, bool final) {
  return check(structure, standin::AsGame<APlayerController>(b.player), FVector{}, FRotator{},
               nullptr, false, FRotator{}, final, nullptr, nullptr);
}

// `hooked`: through the hook chain, as the game calls it; otherwise the
// game's own function alone, the baseline of the hook's added cost.
void BuildCheckBench(benchmark::State& state, std::int32_t actors, bool hooked, bool final,
                     bool at_limit) {
  BenchServer& bench = ServerFor(ServerShape(actors));
  const Builder b = MakeBuilder(bench);
  const BuildCheck check = hooked ? bench.Server().Hooks().Entry(game::kIsAllowedToBuild)
                                  : Resolve(game::kIsAllowedToBuild);
  APrimalStructure* structure = at_limit ? b.refused : b.allowed;
  const int expected = at_limit && hooked ? 0 : 1;
  if (CallCheck(check, structure, b, final) != expected) {
    state.SkipWithError("the build check did not answer as the bench expects");
    return;
  }
  RunBatched(
      state, [&] { benchmark::DoNotOptimize(CallCheck(check, structure, b, final)); },
      [&] {
        bench.ForgetCalls();
        ResetBuilder(b);
      });
  bench.ForgetCalls();
  ResetBuilder(b);
}

// Two teams whose counts together fit every limit, so that the check walks
// every ledger entry.
std::pair<std::int32_t, std::int32_t> MergeableTeams(const BenchServer& bench) {
  const auto& teams = bench.Generated().teams;
  for (std::size_t i = 1; i < teams.size(); ++i) {
    if (AllowMergedStructureCounts(teams[0], teams[i])) {
      return {teams[0], teams[i]};
    }
  }
  throw std::logic_error("no two teams of the world fit together");
}

void MergeCheck(benchmark::State& state, std::int32_t actors) {
  BenchServer& bench = ServerFor(ServerShape(actors));
  bench.EnsureCounted();
  const auto [team1, team2] = MergeableTeams(bench);
  for (auto _ : state) {
    benchmark::DoNotOptimize(AllowMergedStructureCounts(team1, team2));
  }
  state.counters["ledger_entries"] = static_cast<double>(StructureLedger().size());
}

void ShowLimits(benchmark::State& state, std::int32_t actors) {
  BenchServer& bench = ServerFor(ServerShape(actors));
  const Builder b = MakeBuilder(bench);
  auto* player = standin::AsGame<AShooterPlayerController>(b.player);
  FString command(u"/limits");
  ShowLimitsChat(player, &command, false);
  if (bench.Server().Deliveries().size() != 2) {
    state.SkipWithError("show-limits did not send heading and body");
    return;
  }
  RunBatched(
      state, [&] { ShowLimitsChat(player, &command, false); }, [&] { bench.ForgetCalls(); });
  bench.ForgetCalls();
  state.counters["ledger_entries"] = static_cast<double>(StructureLedger().size());
}

}  // namespace

void RegisterHookBenches(std::int32_t actors, const RunShape& run) {
  const auto build = [&](const char* name, bool hooked, bool final, bool at_limit) {
    run.ApplyTo(benchmark::RegisterBenchmark(name, BuildCheckBench, actors, hooked, final, at_limit)
                    ->Unit(benchmark::kNanosecond)
                    ->UseRealTime());
  };
  build("build_check/game_alone", false, true, false);
  build("build_check/not_final", true, false, false);
  build("build_check/final_allowed", true, true, false);
  build("build_check/final_refused", true, true, true);
  run.ApplyTo(benchmark::RegisterBenchmark("merge_check", MergeCheck, actors)
                  ->Unit(benchmark::kMicrosecond)
                  ->UseRealTime());
  run.ApplyTo(benchmark::RegisterBenchmark("show_limits", ShowLimits, actors)
                  ->Unit(benchmark::kMicrosecond)
                  ->UseRealTime());
}

}  // namespace cairnward::bench
