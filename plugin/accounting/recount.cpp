#include "accounting/recount.h"

#include <optional>
#include <vector>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/settings.h"
#include "host/blueprint_path.h"
#include "host/game.h"

namespace cairnward {
namespace {

constexpr std::size_t kPrefetchAhead = 8;

void CreateLedgerEntries() {
  Ledger& ledger = StructureLedger();
  // Names come in byte order; of two that differ only in case the first
  // names the entry.
  for (const std::string& name : LimitedBlueprints(PluginConfig())) {
    ledger.Add(LedgerKey(name));
  }
}

// What a recount learns about a class once and uses for each of its actors:
// a blueprint path depends on the class alone, and neither the configuration
// nor the classes change while the recount runs.
struct ClassFacts {
  FString path;
  TeamCounts* counts = nullptr;  // null: the blueprint is not configured
  std::optional<std::int32_t> limit;
};

// One walk over the level: the trace switch as it stood at the start, and
// the classes met so far.
struct RecountPass {
  TraceLines trace;
  TeamCounts& totals = TeamTotals();
  FlatHashMap<const UClass*, ClassFacts> classes;
};

ClassFacts& FactsOf(RecountPass& pass, AActor* actor) {
  const UClass* cls = Field<game::kClass>(actor);
  const auto [it, fresh] = pass.classes.try_emplace(cls);
  if (fresh) {
    it->second.path = BlueprintPathOf(actor);
    it->second.counts = FindLedgerEntry(it->second.path.View());
  }
  return it->second;
}

void CountStructure(RecountPass& pass, AActor* actor) {
  const std::int32_t team = Field<game::kTargetingTeam>(actor);
  if (team <= kHighestUncountedTeam) {
    return;
  }
  ++pass.totals[team];
  ClassFacts& facts = FactsOf(pass, actor);
  if (facts.counts == nullptr) {
    return;
  }
  const std::int32_t count = ++(*facts.counts)[team];
  // The limit is looked up with the actor's own path, so a path that matches
  // its entry only without regard to case finds no limit of its own.
  if (!facts.limit) {
    facts.limit = BlueprintLimit(facts.path.View());
  }
  if (count > *facts.limit) {
    TeamLimitExceeded()[team] = true;
  }
  pass.trace("| UpdateStructCountAll: team_id: {}", team);
  pass.trace("| UpdateStructCountAll: path_name: {}", Utf8Text{facts.path.View()});
  pass.trace("| UpdateStructCountAll: count: {}", count);
}

}  // namespace

void UpdateStructureCountAll() {
  CountsRebuild rebuild;
  TraceBanner("| UpdateStructureCountAll: Structures Re-Calculating has started!");
  CreateLedgerEntries();
  DebugTrace("| UpdateStructCountAll: Start looping through structures");

  UWorld* world = ArkApi::GetApiUtils().GetWorld();
  const ULevel* level = Field<game::kPersistentLevel>(world);
  const TArray<AActor*>& level_actors = Field<game::kActors>(level);
  // A copy of our own: the game may change its array while we call into it.
  const std::vector<AActor*> actors(level_actors.begin(), level_actors.end());

  // The same class object for the whole walk.
  UClass* structure_class = CallGame<game::kStructureStaticClass>();
  const auto is_a = GameFunctionAddress<game::kIsA>();
  RecountPass pass;
  const std::size_t count = actors.size();
  for (std::size_t i = 0; i < count; ++i) {
    // Actors lie all over the game's memory: asking for one a few steps
    // ahead lets its wait overlap the work on those before it.
    if (i + kPrefetchAhead < count && actors[i + kPrefetchAhead] != nullptr) {
      __builtin_prefetch(actors[i + kPrefetchAhead]);
      PrefetchField<game::kTargetingTeam>(actors[i + kPrefetchAhead]);
    }
    AActor* actor = actors[i];
    if (actor != nullptr && is_a(actor, structure_class)) {
      CountStructure(pass, actor);
    }
  }
  DebugTrace("| UpdateStructCountAll: Structures Re-Calculating done!");
  rebuild.Commit();
}

}  // namespace cairnward
