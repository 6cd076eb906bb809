#include "builder.h"

#include <algorithm>
#include <stdexcept>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"

namespace cairnward::bench {

namespace {

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

}  // namespace

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

void ResetBuilder(const Builder& b) {
  (*FindLedgerEntry(b.allowed_path.View()))[b.team] = b.allowed_count;
  TeamTotals()[b.team] = b.total;
  const auto groups = Limits().GroupsOf(b.allowed_path.View());
  for (std::size_t i = 0; i < groups.size(); ++i) {
    GroupCounts().counts[groups[i]][b.team] = b.group_counts[i];
  }
}

int CallCheck(BuildCheck check, APrimalStructure* structure, const Builder& b, bool final) {
  return check(structure, standin::AsGame<APlayerController>(b.player), FVector{}, FRotator{},
               nullptr, false, FRotator{}, final, nullptr, nullptr);
}

}  // namespace cairnward::bench
