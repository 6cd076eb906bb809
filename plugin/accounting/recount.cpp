#include "accounting/recount.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <numeric>
#include <optional>
#include <span>
#include <vector>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/setting_reads.h"
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
  // The teams with a limit of their own for this path; null when none has.
  const FlatHashMap<std::int32_t, std::int32_t>* own_limits = nullptr;
  std::span<const std::uint32_t> groups;
};

// A structure the walk met that counts in more than its team's total.
struct Counted {
  std::uint32_t class_index;
  std::int32_t team;
};

// One walk over the level: the trace switch as it stood at the start, and
// the classes met so far.
struct RecountPass {
  TraceLines trace;
  TeamCounts& totals = TeamTotals();
  GroupTally& groups = GroupCounts();
  const LimitPlan& plan = Limits();
  FlatHashMap<const UClass*, std::uint32_t> class_index;  // into `classes`
  std::vector<ClassFacts> classes;                        // in the order met
  std::vector<Counted> counted;
};

// The team's limit of a configured blueprint: its own where "Teams" gives one.
std::int32_t LimitFor(ClassFacts& facts, std::int32_t team) {
  if (facts.own_limits != nullptr) {
    if (const auto it = facts.own_limits->find(team); it != facts.own_limits->end()) {
      return it->second;
    }
  }
  if (!facts.limit) {
    facts.limit = BlueprintLimit(facts.path.View());
  }
  return *facts.limit;
}

std::uint32_t ClassIndexOf(RecountPass& pass, AActor* actor) {
  const UClass* cls = Field<game::kClass>(actor);
  const auto [it, fresh] = pass.class_index.try_emplace(cls);
  if (fresh) {
    it->second = static_cast<std::uint32_t>(pass.classes.size());
    ClassFacts& facts = pass.classes.emplace_back();
    facts.path = BlueprintPathOf(actor);
    facts.c4_charge = IsC4Charge(facts.path.View());
    Ledger& ledger = StructureLedger();
    if (const auto entry = ledger.find(facts.path.View()); entry != ledger.end()) {
      facts.counts = &entry->second;
      facts.above = &ledger.MarksOf(entry);
      facts.own_limits = pass.plan.TeamsLimitsOf(facts.path.View());
    }
    facts.groups = pass.plan.GroupsOf(facts.path.View());
  }
  return it->second;
}

// The walk itself: the total at once; the rest noted, to be counted class by
// class, when each class's counts are at hand, not at every actor.
void NoteStructure(RecountPass& pass, AActor* actor) {
  const std::int32_t team = Field<game::kTargetingTeam>(actor);
  if (team <= kHighestUncountedTeam) {
    return;
  }
  const std::uint32_t class_index = ClassIndexOf(pass, actor);
  const ClassFacts& facts = pass.classes[class_index];
  if (facts.c4_charge) {
    return;
  }
  ++pass.totals[team];
  if (facts.counts != nullptr || !facts.groups.empty()) {
    pass.counted.push_back({class_index, team});
  }
}

// How many of the noted structures are of each class.
std::vector<std::size_t> PerClass(const RecountPass& pass, std::span<const Counted> counted) {
  std::vector<std::size_t> per_class(pass.classes.size());
  for (const Counted& c : counted) {
    ++per_class[c.class_index];
  }
  return per_class;
}

// The noted structures class by class, the classes of one group side by side
// so that the group's counts stay in the cache too; walk order within each.
std::vector<Counted> ByClass(const RecountPass& pass, std::span<const Counted> counted,
                             std::span<const std::size_t> per_class) {
  std::vector<std::uint32_t> order(pass.classes.size());
  std::iota(order.begin(), order.end(), 0U);
  const auto first_group = [&](std::uint32_t c) {
    const auto& groups = pass.classes[c].groups;
    return groups.empty() ? std::numeric_limits<std::uint32_t>::max() : groups.front();
  };
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return first_group(a) < first_group(b);
  });
  std::vector<std::size_t> next(pass.classes.size());
  std::size_t start = 0;
  for (const std::uint32_t c : order) {
    next[c] = start;
    start += per_class[c];
  }
  std::vector<Counted> sorted(counted.size());
  for (const Counted& c : counted) {
    sorted[next[c.class_index]++] = c;
  }
  return sorted;
}

// Room in every count map for what is about to be counted into it, so that
// none is moved while it fills; no map needs more than one place per team.
void ReserveCounts(RecountPass& pass, std::span<const std::size_t> per_class) {
  FlatHashMap<TeamCounts*, std::size_t> wanted;
  for (std::size_t c = 0; c < pass.classes.size(); ++c) {
    const ClassFacts& facts = pass.classes[c];
    if (facts.counts != nullptr) {
      wanted[facts.counts] += per_class[c];
    }
    for (const std::uint32_t group : facts.groups) {
      wanted[&pass.groups.counts[group]] += per_class[c];
    }
  }
  for (const auto& [counts, structures] : wanted) {
    counts->reserve(std::min(structures, pass.totals.size()));
  }
}

// The noted structures counted class by class. A blueprint's limit is looked
// up with each class's own path, so a path that matches its entry only
// without regard to case finds no limit of its own.
void CountNoted(RecountPass& pass, std::span<const Counted> counted) {
  ExceededLimits& exceeded = TeamLimitExceeded();
  for (const auto [class_index, team] : counted) {
    ClassFacts& facts = pass.classes[class_index];
    for (const std::uint32_t group : facts.groups) {
      if (AboveLimit(++pass.groups.counts[group][team], pass.plan.GroupLimitOf(group, team))) {
        pass.groups.above[group].Set(team, true, exceeded);
      }
    }
    if (facts.counts == nullptr) {
      continue;
    }
    const std::int32_t count = ++(*facts.counts)[team];
    if (AboveLimit(count, LimitFor(facts, team))) {
      facts.above->Set(team, true, exceeded);
    }
    pass.trace("| UpdateStructCountAll: team_id: {}", team);
    pass.trace("| UpdateStructCountAll: path_name: {}", Utf8Text{facts.path.View()});
    pass.trace("| UpdateStructCountAll: count: {}", count);
  }
}

std::optional<RecountRecord>& Record() {
  static std::optional<RecountRecord> record;
  return record;
}

}  // namespace

const std::optional<RecountRecord>& LastRecount() {
  return Record();
}

void UpdateStructureCountAll() {
  const auto started = std::chrono::system_clock::now();
  const auto clock_started = std::chrono::steady_clock::now();
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
      NoteStructure(pass, actor);
    }
  }
  // Counting class by class keeps each class's counts in the cache.
  const std::vector<std::size_t> per_class = PerClass(pass, pass.counted);
  ReserveCounts(pass, per_class);
  CountNoted(pass, ByClass(pass, pass.counted, per_class));
  DebugTrace("| UpdateStructCountAll: Structures Re-Calculating done!");
  rebuild.Commit();
  Record() = RecountRecord{started, std::chrono::steady_clock::now() - clock_started};
}

}  // namespace cairnward
