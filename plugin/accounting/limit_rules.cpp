#include "accounting/limit_rules.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "api/ark_api.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/setting_reads.h"
#include "config/settings.h"

namespace cairnward {
namespace {

void TraceResult(const TraceLines& trace, std::int32_t team_id, std::int32_t current,
                 std::int32_t change, std::int32_t final_count) {
  trace(kTraceOpeningRule);
  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Result!");
  trace("|");
  trace("| UpdateStructureCount: Limit_exceeded: {}", TeamLimitExceeded().Flagged(team_id));
  trace("| UpdateStructureCount: CurrentCount: {}", current);
  trace("| UpdateStructureCount: ChangeCount: {}", change);
  trace("| UpdateStructureCount: FinalCount: {}", final_count);
  trace("|");
  trace("|");
  trace(kTraceClosingRule);
}

// The team is above the blueprint's limit exactly while its count is: the
// flag comes from the counts as they are, never from their history, by the
// rule a recount follows.
void ApplyConfiguredCount(const TraceLines& trace, const CountChange& prepared) {
  trace.Framed("| UpdateStructureCount: Debug code: 2");
  TeamCounts& counts = prepared.entry->second;
  const std::int32_t old_count = counts[prepared.team_id];
  const std::int32_t new_count = Plus(old_count, prepared.change);
  if (new_count >= 0) {
    trace.Framed("| UpdateStructureCount: Debug code: 3");
    counts[prepared.team_id] = new_count;
    StructureLedger()
        .MarksOf(prepared.entry)
        .Set(prepared.team_id, AboveLimit(new_count, prepared.limit), TeamLimitExceeded());
    trace.Framed("| UpdateStructureCount: Debug code: 3A");
    trace.Framed("| UpdateStructureCount: 3B");
  }
  TraceResult(trace, prepared.team_id, old_count, prepared.change, new_count);
}

// An unconfigured blueprint has no limit of its own to be above: only the
// total rule of StructureAllowed limits it.
void ApplyUnconfiguredCount(const TraceLines& trace, const CountChange& prepared,
                            std::int32_t old_total, std::int32_t new_total) {
  trace.Framed("| UpdateStructureCount: 4");
  if (trace.On() && new_total > prepared.max_amount) {
    trace.Framed("| UpdateStructureCount: 4A");
  }
  if (prepared.change < 0) {
    trace.Framed("| UpdateStructureCount: 4B");
  }
  TraceResult(trace, prepared.team_id, old_total, prepared.change, new_total);
}

// The team limits of configured blueprints, by ledger entry, for a walk over
// every entry: one lookup per limit given rather than one per entry.
FlatHashMap<const TeamCounts*, std::int32_t> TeamBlueprintLimits(std::int32_t team_id) {
  FlatHashMap<const TeamCounts*, std::int32_t> by_entry;
  for (const auto& [entry, limit] : TeamEntryLimits(team_id)) {
    by_entry[&entry->second] = limit;
  }
  return by_entry;
}

// The first limit a flagged team is above: a blueprint's, else a group's.
Refusal FirstLimitAbove(std::int32_t team_id) {
  Ledger& ledger = StructureLedger();
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    if (ledger.MarksOf(entry).IsSet(team_id)) {
      return {PositionOfEntry(entry), CountIn(entry->second, team_id),
              BlueprintLimitOf(entry, entry->first.View(), team_id)};
    }
  }
  if (const GroupTally* tally = CountedGroups(); tally != nullptr) {
    for (std::uint32_t group = 0; group < tally->above.size(); ++group) {
      if (tally->above[group].IsSet(team_id)) {
        return {static_cast<std::uint32_t>(GroupPosition(group)),
                GroupCount(*tally, group, team_id), tally->plan->GroupLimitOf(group, team_id)};
      }
    }
  }
  // Every mark is of a blueprint or a group; the total stands for any other.
  return {0, CountIn(TeamTotals(), team_id), MaxAmountOf(team_id)};
}

}  // namespace

bool Exempt(std::uint64_t steam_id) {
  return static_cast<std::int64_t>(steam_id) > 0 && IgnoreAdmin() &&
         Permissions::IsPlayerHasPermission(steam_id, FString(u"Admins"));
}

PathFacts FactsOfPath(std::u16string_view path) {
  const std::uint64_t hash = FoldedHash(path);
  PathFacts facts{StructureLedger().find(path, hash), {}};
  if (const GroupTally* tally = CountedGroups(); tally != nullptr) {
    facts.groups = tally->plan->GroupsOf(path, hash);
  }
  return facts;
}

bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id) {
  return StructureAllowed(path, FactsOfPath(path.View()), team_id, steam_id);
}

bool StructureAllowed(const FString& path, const PathFacts& facts, std::int32_t team_id,
                      std::uint64_t steam_id) {
  return !RefusingLimit(path, facts, team_id, steam_id);
}

std::optional<Refusal> RefusingLimit(const FString& path, const PathFacts& facts,
                                     std::int32_t team_id, std::uint64_t steam_id) {
  if (Exempt(steam_id)) {
    return std::nullopt;
  }
  if (TeamLimitExceeded().Flagged(team_id)) {
    return FirstLimitAbove(team_id);
  }
  if (const std::int32_t total = TeamTotals()[team_id], limit = MaxAmountOf(team_id);
      total >= limit) {
    return Refusal{0, total, limit};
  }
  if (const auto group = GroupAtLimit(facts.groups, team_id)) {
    const GroupTally& tally = *CountedGroups();
    return Refusal{static_cast<std::uint32_t>(GroupPosition(*group)),
                   GroupCount(tally, *group, team_id), tally.plan->GroupLimitOf(*group, team_id)};
  }
  const auto entry = facts.entry;
  if (entry == StructureLedger().end()) {
    return std::nullopt;
  }
  const std::int32_t count = entry->second[team_id];
  const TraceLines trace;
  trace("StructureAllowed: team_id: {}", team_id);
  trace("StructureAllowed: path_name: {}", Utf8Text{path.View()});
  trace("StructureAllowed: count: {}", count);
  if (const std::int32_t limit = BlueprintLimitOf(entry, path.View(), team_id); count >= limit) {
    return Refusal{PositionOfEntry(entry), count, limit};
  }
  return std::nullopt;
}

Refusal RefusalInView(const TeamView& counts, const PathFacts& facts, std::int32_t team_id) {
  std::vector<std::int32_t> limits = LimitsInOrder();
  for (const auto& [position, limit] : TeamLimitsInOrder(team_id)) {
    limits[position] = limit;
  }
  const auto at = [&](std::uint32_t position) {
    return Refusal{position, counts.Counts().size() > position ? counts.Counts()[position] : 0,
                   limits[position]};
  };
  // In the order of the local check: the total, the groups, the blueprint.
  std::vector<std::uint32_t> positions = PositionsOf(facts);
  if (facts.entry != StructureLedger().end()) {
    std::rotate(positions.begin() + 1, positions.begin() + 2, positions.end());
  }
  for (const std::uint32_t position : positions) {
    if (const Refusal refusal = at(position); refusal.count >= refusal.limit) {
      return refusal;
    }
  }
  for (std::uint32_t position = 0; position < limits.size(); ++position) {
    if (const Refusal refusal = at(position); AboveLimit(refusal.count, refusal.limit)) {
      return refusal;
    }
  }
  return at(0);
}

CountChange PrepareCountChange(const TraceLines& trace, const FString& path, std::int32_t team_id,
                               std::int32_t change) {
  return PrepareCountChange(trace, path, FactsOfPath(path.View()), team_id, change);
}

CountChange PrepareCountChange(const TraceLines& trace, const FString& path, const PathFacts& facts,
                               std::int32_t team_id, std::int32_t change) {
  CountChange prepared;
  prepared.path = &path;
  prepared.team_id = team_id;
  prepared.change = change;
  // The game's text ends at its first NUL, so a path that starts with one is empty.
  prepared.counted = !std::u16string_view(*path).empty() && team_id > kHighestUncountedTeam;
  Ledger& ledger = StructureLedger();
  prepared.entry = ledger.end();
  if (!prepared.counted) {
    return prepared;
  }
  prepared.entry = facts.entry;
  prepared.groups = facts.groups;
  if (prepared.entry != ledger.end()) {
    if (Plus(CountIn(prepared.entry->second, team_id), change) >= 0) {
      prepared.limit = BlueprintLimitOf(prepared.entry, path.View(), team_id);
    }
  } else if (trace.On()) {
    prepared.max_amount = MaxAmountOf(team_id);
  }
  return prepared;
}

void ApplyCountChange(const TraceLines& trace, const CountChange& prepared) {
  trace(kTraceOpeningRule);
  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Starting!");
  trace("|");
  trace("| UpdateStructureCount: team_id: {}", prepared.team_id);
  trace("| UpdateStructureCount: path_name: {}", Utf8Text{prepared.path->View()});
  trace("| UpdateStructureCount: changeCount: {}", prepared.change);
  trace("|");
  trace("|");
  trace(kTraceClosingRule);

  if (prepared.counted) {
    trace.Framed("| UpdateStructureCount: Debug code: 1");
    TeamCounts& totals = TeamTotals();
    const std::int32_t old_total = totals[prepared.team_id];
    const std::int32_t new_total = Plus(old_total, prepared.change);
    if (new_total >= 0) {
      totals[prepared.team_id] = new_total;
    }
    if (prepared.entry != StructureLedger().end()) {
      ApplyConfiguredCount(trace, prepared);
    } else {
      ApplyUnconfiguredCount(trace, prepared, old_total, new_total);
    }
    UpdateGroupCounts(prepared.groups, prepared.team_id, prepared.change);
  }

  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Finished");
  trace("|");
  trace("|");
  trace(kTraceClosingRule);
}

void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change) {
  UpdateStructureCount(path, FactsOfPath(path.View()), team_id, change);
}

void UpdateStructureCount(const FString& path, const PathFacts& facts, std::int32_t team_id,
                          std::int32_t change) {
  const TraceLines trace;
  ApplyCountChange(trace, PrepareCountChange(trace, path, facts, team_id, change));
}

bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count, std::int32_t team_id) {
  return count <= BlueprintLimitOf(entry, entry->first.View(), team_id);
}

std::int32_t MaxAmountOf(std::int32_t team_id) {
  if (const TeamLimits* team = Limits().LimitsOf(team_id); team != nullptr && team->max_amount) {
    return *team->max_amount;
  }
  return MaxAmountForEveryone();
}

std::int32_t MaxAmountForEveryone() {
  return SettingOr<std::int32_t>(PluginConfig(), settings::kMaxAmount);
}

std::int32_t BlueprintLimitOf(Ledger::const_iterator entry, std::u16string_view path,
                              std::int32_t team_id) {
  if (const TeamLimits* team = Limits().LimitsOf(team_id); team != nullptr) {
    if (const auto it = team->structures.find(path); it != team->structures.end()) {
      return it->second;
    }
  }
  return StructureLedger().LimitOf(entry, path);
}

bool AllowMergedStructureCounts(std::int32_t receiver, std::int32_t joiner) {
  return MergedWithinLimits(receiver, LocalTeamView(receiver), LocalTeamView(joiner));
}

bool MergedWithinLimits(std::int32_t receiver, const TeamView& receiving, const TeamView& joining) {
  const TraceLines trace;
  trace.Banner("| AllowMergedStructureCounts: Starts");
  if (Plus(receiving.Total(), joining.Total()) > MaxAmountOf(receiver)) {
    return false;
  }
  Ledger& ledger = StructureLedger();
  const FlatHashMap<const TeamCounts*, std::int32_t> team_limits = TeamBlueprintLimits(receiver);
  std::size_t index = 0;
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry, ++index) {
    const std::int32_t sum = Plus(receiving.Blueprint(index), joining.Blueprint(index));
    trace("| AllowMergedStructureCounts: count: {}", sum);
    const auto team_limit = team_limits.find(&entry->second);
    const std::int32_t limit = team_limit != team_limits.end()
                                   ? team_limit->second
                                   : ledger.LimitOf(entry, entry->first.View());
    if (sum > limit) {
      trace("| AllowMergedStructureCounts: Return: false");
      return false;
    }
  }
  // Groups limit only while they are counted.
  if (CountedGroups() != nullptr) {
    for (std::size_t group = 0; group < Limits().Groups().size(); ++group) {
      if (Plus(receiving.Group(group), joining.Group(group)) >
          Limits().GroupLimitOf(group, receiver)) {
        trace("| AllowMergedStructureCounts: Return: false");
        return false;
      }
    }
  }
  trace("| AllowMergedStructureCounts: Ends");
  return true;
}

}  // namespace cairnward
