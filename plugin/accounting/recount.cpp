#include "accounting/recount.h"

#include <optional>
#include <span>
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
  // Names come in byte order; of two that differ only in case the first
  // names the entry.
  const std::vector<std::string> names = LimitedBlueprints(PluginConfig());
  std::vector<FString> keys;
  keys.reserve(names.size());
  for (const std::string& name : names) {
    keys.push_back(LedgerKey(name));
  }
  StructureLedger().Assign(std::move(keys));
}

// What a recount learns about a class once and uses for each of its actors:
// a blueprint path depends on the class alone, and neither the configuration
// nor the classes change while the recount runs.
struct ClassFacts {
  FString path;
  bool c4_charge = false;        // counted nowhere, as by the hooks
  TeamCounts* counts = nullptr;  // null: the blueprint is not configured
  LimitMarks* above = nullptr;   // of the same entry
  std::optional<std::int32_t> limit;
  std::span<const std::uint32_t> groups;
};

// One walk over the level: the trace switch as it stood at the start, and
// the classes met so far.
struct RecountPass {
  TraceLines trace;
  TeamCounts& totals = TeamTotals();
  GroupTally& groups = GroupCounts();
  const LimitPlan& plan = Limits();
  FlatHashMap<const UClass*, ClassFacts> classes;
};

// The team's limit of a configured blueprint: its own where "Teams" gives one.
std::int32_t LimitFor(const RecountPass& pass, ClassFacts& facts, std::int32_t team) {
  if (const TeamLimits* own = pass.plan.LimitsOf(team); own != nullptr) {
    if (const auto it = own->structures.find(facts.path.View()); it != own->structures.end()) {
      return it->second;
    }
  }
  if (!facts.limit) {
    facts.limit = BlueprintLimit(facts.path.View());
  }
  return *facts.limit;
}

ClassFacts& FactsOf(RecountPass& pass, AActor* actor) {
  const UClass* cls = Field<game::kClass>(actor);
  const auto [it, fresh] = pass.classes.try_emplace(cls);
  if (fresh) {
    ClassFacts& facts = it->second;
    facts.path = BlueprintPathOf(actor);
    facts.c4_charge = IsC4Charge(facts.path.View());
    Ledger& ledger = StructureLedger();
    if (const auto entry = ledger.find(facts.path.View()); entry != ledger.end()) {
      facts.counts = &entry->second;
      facts.above = &ledger.MarksOf(entry);
    }
    facts.groups = pass.plan.GroupsOf(facts.path.View());
  }
  return it->second;
}

void CountStructure(RecountPass& pass, AActor* actor) {
  const std::int32_t team = Field<game::kTargetingTeam>(actor);
  if (team <= kHighestUncountedTeam) {
    return;
  }
  ClassFacts& facts = FactsOf(pass, actor);
  if (facts.c4_charge) {
    return;
  }
  ++pass.totals[team];
  for (const std::uint32_t group : facts.groups) {
    if (++pass.groups.counts[group][team] > pass.plan.GroupLimitOf(group, team)) {
      pass.groups.above[group].Set(team, true, TeamLimitExceeded());
    }
  }
  if (facts.counts == nullptr) {
    return;
  }
  const std::int32_t count = ++(*facts.counts)[team];
  // The limit is looked up with the actor's own path, so a path that matches
  // its entry only without regard to case finds no limit of its own.
  if (count > LimitFor(pass, facts, team)) {
    facts.above->Set(team, true, TeamLimitExceeded());
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
  GroupCounts().plan = LimitsInForce();
  GroupCounts().counts.resize(Limits().Groups().size());
  GroupCounts().above.resize(Limits().Groups().size());
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
