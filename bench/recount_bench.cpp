#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "bench_server.h"
#include "benches.h"
#include "host/game.h"

namespace cairnward::bench {
namespace {

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

double PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

// The floor the recount is measured against: visit every actor, ask the
// game whether it is a structure, read its team and count it, through the
// same host accessors and in the same kind of map as the plug-in. The
// recount asks the game once per class rather than per actor, so it can
// come close to this floor or pass under it.
std::size_t CountFloor() {
  TeamCounts totals;
  UWorld* world = ArkApi::GetApiUtils().GetWorld();
  const ULevel* level = Field<game::kPersistentLevel>(world);
  const TArray<AActor*>& actors = Field<game::kActors>(level);
  UClass* structure_class = CallGame<game::kStructureStaticClass>();
  const auto is_a = GameFunctionAddress<game::kIsA>();
  // Memory asked for a few actors ahead, as the recount asks for it, so that
  // the two compare like with like.
  constexpr std::size_t kAhead = 8;
  AActor* const* items = actors.begin();
  const auto count = static_cast<std::size_t>(actors.Num());
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count && items[i + kAhead] != nullptr) {
      __builtin_prefetch(items[i + kAhead]);
      PrefetchField<game::kTargetingTeam>(items[i + kAhead]);
    }
    AActor* actor = items[i];
    if (actor != nullptr && is_a(actor, structure_class)) {
      ++totals[Field<game::kTargetingTeam>(actor)];
    }
  }
  return totals.size();
}

void Recount(benchmark::State& state, std::int32_t actors) {
  ServerFor(ServerShape(actors));
  for (auto _ : state) {
    UpdateStructureCountAll();
    benchmark::DoNotOptimize(TeamTotals().size());
  }
  state.SetItemsProcessed(state.iterations() * actors);
  // What the counts hold once the recount's own workings are gone; the
  // maps keep their arrays through a clear, so they are replaced here.
  ClearAccounting();
  TeamTotals() = {};
  TeamLimitExceeded() = {};
  const std::size_t before = HeapInUse();
  UpdateStructureCountAll();
  state.counters["container_bytes"] = static_cast<double>(HeapInUse() - before);
  state.counters["peak_rss_bytes"] = PeakResidentBytes();
}

void Floor(benchmark::State& state, std::int32_t actors) {
  ServerFor(ServerShape(actors));
  for (auto _ : state) {
    benchmark::DoNotOptimize(CountFloor());
  }
  state.SetItemsProcessed(state.iterations() * actors);
}

// Configured names as the configuration hands them over, in byte order,
// every other one capitalised: the ledger's order, which ignores case,
// interleaves what byte order keeps apart.
std::vector<FString> CapitalisedNames(std::int32_t names) {
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(names));
  for (std::int32_t i = 0; i < names; ++i) {
    std::string word;
    for (std::int32_t n = i;; n /= 26) {
      word += static_cast<char>('a' + (n % 26));
      if (n < 26) {
        break;
      }
    }
    if (i % 2 != 0) {
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    texts.push_back(fmt::format("Blueprint'/Game/Mods/{0}.{0}'", word));
  }
  std::sort(texts.begin(), texts.end());
  std::vector<FString> keys;
  keys.reserve(texts.size());
  for (const std::string& text : texts) {
    keys.push_back(LedgerKey(text));
  }
  return keys;
}

void LedgerBuild(benchmark::State& state, std::int32_t names) {
  ServerFor(ServerShape(1'000));
  const std::vector<FString> keys = CapitalisedNames(names);
  for (auto _ : state) {
    Ledger ledger;
    ledger.Assign(keys);
    benchmark::DoNotOptimize(ledger.size());
  }
  state.SetItemsProcessed(state.iterations() * names);
}

}  // namespace

void RegisterRecountBenches(const std::vector<std::int32_t>& world_sizes, const RunShape& run) {
  for (const std::int32_t actors : world_sizes) {
    const std::string size = std::to_string(actors);
    using Bench = void (*)(benchmark::State&, std::int32_t);
    for (const auto& [name, bench] : {std::pair<std::string, Bench>{"recount/", &Recount},
                                      std::pair<std::string, Bench>{"recount_floor/", &Floor}}) {
      run.ApplyTo(benchmark::RegisterBenchmark((name + size).c_str(), bench, actors)
                      ->Unit(benchmark::kMillisecond)
                      ->UseRealTime());
    }
  }
  // The ledger built from many configured names: 400,000 in a full run.
  const std::int32_t names = world_sizes.front() * 40;
  run.ApplyTo(benchmark::RegisterBenchmark(("ledger_build/" + std::to_string(names)).c_str(),
                                           &LedgerBuild, names)
                  ->Unit(benchmark::kMillisecond)
                  ->UseRealTime());
}

}  // namespace cairnward::bench
