#include "accounting/recount.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <span>
#include <string>
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

// What a recount learns about a class once and uses for each of its actors:
// a blueprint path depends on the class alone, and neither the configuration
// nor the classes change while the recount runs.
struct ClassFacts {
  std::u16string path;     // kept in the plug-in's memory: the host's is given back at unload
  bool c4_charge = false;  // counted nowhere, as by the hooks
  std::optional<std::size_t> entry;  // in the ledger; none: the blueprint is not configured
  TeamCounts* counts = nullptr;      // of `entry`, in this recount's ledger
  LimitMarks* above = nullptr;       // of the same entry
  std::optional<std::int32_t> limit;
  // The teams with a limit of their own for this path; null when none has.
  const FlatHashMap<std::int32_t, std::int32_t>* own_limits = nullptr;
  std::span<const std::uint32_t> groups;
};

// What the walk does with an actor of a class, kept beside the class in the
// walk's lookup: the walk reads nothing else per actor, and the facts of a
// thousand classes would not stay in the cache.
enum class ClassKind : std::uint8_t {
  kNotAStructure,  // not counted, and no facts
  kUncounted,      // a structure counted nowhere, as by the hooks
  kTotalOnly,      // in its team's total alone
  kNoted,          // in the total, and noted for its entry and groups
};

struct ClassSeen {
  ClassKind kind;
  std::uint32_t index;  // into the classes' facts
};

// The classes met and the ledger's keys, kept from one recount to the next
// while the host and the configuration are the same: working them out again
// (a path from the game, its hashes, its limit) for each of a thousand
// classes is most of a small world's recount. The host's class objects live
// as long as it runs, and a load forgets them with the game's addresses.
struct KnownClasses {
  std::uint32_t host_epoch = 0;
  std::uint64_t generation = 0;
  std::shared_ptr<const LimitPlan> plan;    // the groups and teams' limits point into it
  std::vector<std::u16string> ledger_keys;  // in ledger order after the first recount
  bool keys_in_order = false;
  std::vector<std::uint64_t> key_hashes;        // of `ledger_keys` once in order
  FlatHashMap<const UClass*, ClassSeen> index;  // every class met
  std::vector<ClassFacts> classes;              // of structures, in the order met
  std::vector<std::uint32_t> order;             // of `classes`, those of a group side by side
  std::size_t counted = 0;                      // structures the last walk noted
};

KnownClasses& Known() {
  static KnownClasses known;
  return known;
}

// The known classes, forgotten when the host or the configuration changed.
KnownClasses& KnownNow() {
  KnownClasses& known = Known();
  if (known.host_epoch != detail::game_address_epoch || known.generation != ConfigGeneration() ||
      known.plan != LimitsInForce()) {
    // Names come in byte order; of two that differ only in case the first
    // names the entry.
    std::vector<std::u16string> keys;
    for (const std::string& name : LimitedBlueprints(PluginConfig())) {
      keys.emplace_back(LedgerKey(name).View());
    }
    known = KnownClasses{};
    known.host_epoch = detail::game_address_epoch;
    known.generation = ConfigGeneration();
    known.plan = LimitsInForce();
    known.ledger_keys = std::move(keys);
  }
  return known;
}

// A ledger of empty entries for the configured names: at the first recount
// sorted and rid of names that differ only in case, and kept so, with each
// key's hash, for the recounts after it.
void AssignLedger(KnownClasses& known) {
  Ledger& ledger = StructureLedger();
  std::vector<FString> keys;
  keys.reserve(known.ledger_keys.size());
  for (const std::u16string& key : known.ledger_keys) {
    keys.emplace_back(key);
  }
  if (known.keys_in_order) {
    ledger.AssignInOrder(std::move(keys), known.key_hashes);
    return;
  }
  ledger.Assign(std::move(keys));
  known.ledger_keys.clear();
  for (const auto& [key, counts] : ledger) {
    known.ledger_keys.emplace_back(key.View());
    known.key_hashes.push_back(FoldedHash(key.View()));
  }
  known.keys_in_order = true;
}

// The known classes' counts in this recount's ledger, entry by entry.
void PointIntoLedger(KnownClasses& known) {
  AssignLedger(known);
  Ledger& ledger = StructureLedger();
  std::vector<Ledger::iterator> entries;
  entries.reserve(ledger.size());
  for (auto it = ledger.begin(); it != ledger.end(); ++it) {
    entries.push_back(it);
  }
  for (ClassFacts& facts : known.classes) {
    if (facts.entry) {
      facts.counts = &entries[*facts.entry]->second;
      facts.above = &ledger.MarksOf(entries[*facts.entry]);
    }
  }
}

// A structure the walk met that counts in more than its team's total.
struct Counted {
  std::uint32_t class_index;
  std::int32_t team;
};

std::vector<Counted> Reserved(std::size_t size) {
  std::vector<Counted> counted;
  counted.reserve(size);
  return counted;
}

// One walk over the level: the trace switch as it stood at the start, and
// the classes met so far.
struct RecountPass {
  TraceLines trace;
  TeamCounts& totals = TeamTotals();
  GroupTally& groups = GroupCounts();
  const LimitPlan& plan = Limits();
  KnownClasses& known = KnownNow();
  std::vector<ClassFacts>& classes = known.classes;
  std::vector<Counted> counted = Reserved(known.counted);
};

// The team's limit of a configured blueprint: its own where "Teams" gives one.
std::int32_t LimitFor(ClassFacts& facts, std::int32_t team) {
  if (facts.own_limits != nullptr) {
    if (const auto it = facts.own_limits->find(team); it != facts.own_limits->end()) {
      return it->second;
    }
  }
  if (!facts.limit) {
    facts.limit = BlueprintLimit(facts.path);
  }
  return *facts.limit;
}

// What a class is, worked out once; its counts in this recount's ledger.
ClassFacts FactsOf(const RecountPass& pass, AActor* actor) {
  ClassFacts facts;
  facts.path = BlueprintPathOf(actor).View();
  facts.c4_charge = IsC4Charge(facts.path);
  Ledger& ledger = StructureLedger();
  if (const auto entry = ledger.find(facts.path); entry != ledger.end()) {
    facts.entry = static_cast<std::size_t>(entry.Position() - ledger.begin().Position());
    facts.counts = &entry->second;
    facts.above = &ledger.MarksOf(entry);
    facts.own_limits = pass.plan.TeamsLimitsOf(facts.path);
  }
  facts.groups = pass.plan.GroupsOf(facts.path);
  return facts;
}

// The game's test for a structure, asked once per class: whether an object
// is a structure depends on its class alone.
struct StructureTest {
  UClass* structure_class = CallGame<game::kStructureStaticClass>();
  decltype(GameFunctionAddress<game::kIsA>()) is_a = GameFunctionAddress<game::kIsA>();
};

ClassKind KindOf(const ClassFacts& facts) {
  if (facts.c4_charge) {
    return ClassKind::kUncounted;
  }
  return facts.counts != nullptr || !facts.groups.empty() ? ClassKind::kNoted
                                                          : ClassKind::kTotalOnly;
}

ClassSeen SeenClassOf(RecountPass& pass, const StructureTest& test, AActor* actor) {
  const UClass* cls = Field<game::kClass>(actor);
  if (const auto found = pass.known.index.find(cls); found != pass.known.index.end()) {
    return found->second;
  }
  ClassSeen seen{ClassKind::kNotAStructure, 0};
  if (test.is_a(actor, test.structure_class)) {
    // Known only once all is worked out: a game call that fails leaves none half known.
    pass.classes.push_back(FactsOf(pass, actor));
    seen = {KindOf(pass.classes.back()), static_cast<std::uint32_t>(pass.classes.size() - 1)};
  }
  pass.known.index[cls] = seen;
  return seen;
}

// The walk itself: a structure's total at once; the rest noted, to be
// counted class by class, when each class's counts are at hand, not at every
// actor.
void NoteActor(RecountPass& pass, const StructureTest& test, AActor* actor) {
  const auto [kind, class_index] = SeenClassOf(pass, test, actor);
  if (kind == ClassKind::kNotAStructure || kind == ClassKind::kUncounted) {
    return;
  }
  const std::int32_t team = Field<game::kTargetingTeam>(actor);
  if (team <= kHighestUncountedTeam) {
    return;
  }
  ++pass.totals[team];
  if (kind == ClassKind::kNoted) {
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

// The classes in the order their structures are counted: those of one group
// side by side, so that the group's counts stay in the cache too. Worked out
// again only when a class was met for the first time.
const std::vector<std::uint32_t>& ClassOrder(RecountPass& pass) {
  std::vector<std::uint32_t>& order = pass.known.order;
  if (order.size() == pass.classes.size()) {
    return order;
  }
  order.resize(pass.classes.size());
  std::iota(order.begin(), order.end(), 0U);
  const auto first_group = [&](std::uint32_t c) {
    const auto& groups = pass.classes[c].groups;
    return groups.empty() ? std::numeric_limits<std::uint32_t>::max() : groups.front();
  };
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return first_group(a) < first_group(b);
  });
  return order;
}

// The noted structures class by class in that order; walk order within each.
std::vector<Counted> ByClass(RecountPass& pass, std::span<const Counted> counted,
                             std::span<const std::size_t> per_class) {
  const std::vector<std::uint32_t>& order = ClassOrder(pass);
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
    pass.trace("| UpdateStructCountAll: path_name: {}", Utf8Text{facts.path});
    pass.trace("| UpdateStructCountAll: count: {}", count);
  }
}

// The walk over the level's actors, noting each structure.
void WalkLevel(RecountPass& pass) {
  UWorld* world = ArkApi::GetApiUtils().GetWorld();
  const ULevel* level = Field<game::kPersistentLevel>(world);
  const TArray<AActor*>& level_actors = Field<game::kActors>(level);
  // A copy of our own: the game may change its array while we call into it.
  const std::vector<AActor*> actors(level_actors.begin(), level_actors.end());

  const StructureTest test;
  const std::size_t count = actors.size();
  for (std::size_t i = 0; i < count; ++i) {
    // Actors lie all over the game's memory: asking for one a few steps
    // ahead lets its wait overlap the work on those before it.
    if (i + kPrefetchAhead < count && actors[i + kPrefetchAhead] != nullptr) {
      __builtin_prefetch(actors[i + kPrefetchAhead]);
      PrefetchField<game::kTargetingTeam>(actors[i + kPrefetchAhead]);
    }
    if (actors[i] != nullptr) {
      NoteActor(pass, test, actors[i]);
    }
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
  PointIntoLedger(KnownNow());
  GroupCounts().plan = LimitsInForce();
  GroupCounts().counts.resize(Limits().Groups().size());
  GroupCounts().above.resize(Limits().Groups().size());
  DebugTrace("| UpdateStructCountAll: Start looping through structures");

  RecountPass pass;
  WalkLevel(pass);
  pass.known.counted = pass.counted.size();
  // Counting class by class keeps each class's counts in the cache.
  const std::vector<std::size_t> per_class = PerClass(pass, pass.counted);
  ReserveCounts(pass, per_class);
  CountNoted(pass, ByClass(pass, pass.counted, per_class));
  DebugTrace("| UpdateStructCountAll: Structures Re-Calculating done!");
  rebuild.Commit();
  Record() = RecountRecord{started, std::chrono::steady_clock::now() - clock_started};
}

}  // namespace cairnward
