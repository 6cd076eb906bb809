#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/recount.h"
#include "accounting/teams_over.h"
#include "api/game_members.h"
#include "bench_server.h"
#include "benches.h"
#include "builder.h"
#include "commands/commands.h"
#include "config/config.h"
#include "standin/game_actions.h"

namespace cairnward::bench {
namespace {

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

// cairnward.over over RCON, as an administrator asks it: its cost follows
// the teams over a limit, plus one comparison per team for the total.
void TeamsOver(benchmark::State& state, std::int32_t actors) {
  BenchServer& bench = ServerFor(ServerShape(actors));
  bench.EnsureCounted();
  if (bench.Server().Rcon(kOverCommand).size() != 1) {
    state.SkipWithError("cairnward.over did not answer once");
    return;
  }
  RunBatched(
      state, [&] { benchmark::DoNotOptimize(bench.Server().Rcon(kOverCommand)); },
      [&] { bench.ForgetCalls(); });
  bench.ForgetCalls();
  state.counters["teams"] = static_cast<double>(TeamTotals().size());
  state.counters["teams_over"] = static_cast<double>(TeamsOverLimits().size());
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
  run.ApplyTo(benchmark::RegisterBenchmark("teams_over", TeamsOver, actors)
                  ->Unit(benchmark::kMicrosecond)
                  ->UseRealTime());
}

}  // namespace cairnward::bench
