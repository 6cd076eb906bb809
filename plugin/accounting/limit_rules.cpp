#include "accounting/limit_rules.h"

#include <string_view>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/settings.h"

namespace cairnward {
namespace {

// The game's counts are 32-bit and wrap rather than trap.
std::int32_t Plus(std::int32_t a, std::int32_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t MaxAmount() {
  return SettingOr<std::int32_t>(PluginConfig(), settings::kMaxAmount);
}

bool ExemptAdmin(std::uint64_t steam_id) {
  return static_cast<std::int64_t>(steam_id) > 0 && IgnoreAdmin() &&
         Permissions::IsPlayerHasPermission(steam_id, FString(u"Admins"));
}

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

std::int32_t CountIn(const TeamCounts& counts, std::int32_t team_id) {
  const auto it = counts.find(team_id);
  return it != counts.end() ? it->second : 0;
}

// The team is above the blueprint's limit exactly while its count is: the
// flag comes from the counts as they are, never from their history.
void ApplyConfiguredCount(const TraceLines& trace, const CountChange& c) {
  trace.Framed("| UpdateStructureCount: Debug code: 2");
  TeamCounts& counts = c.entry->second;
  const std::int32_t old_count = counts[c.team_id];
  const std::int32_t new_count = Plus(old_count, c.change);
  if (new_count >= 0) {
    trace.Framed("| UpdateStructureCount: Debug code: 3");
    counts[c.team_id] = new_count;
    StructureLedger().MarksOf(c.entry).Set(c.team_id, new_count > c.limit, TeamLimitExceeded());
    trace.Framed("| UpdateStructureCount: Debug code: 3A");
    trace.Framed("| UpdateStructureCount: 3B");
  }
  TraceResult(trace, c.team_id, old_count, c.change, new_count);
}

// An unconfigured blueprint has no limit of its own to be above: only the
// total rule of StructureAllowed limits it.
void ApplyUnconfiguredCount(const TraceLines& trace, const CountChange& c, std::int32_t old_total,
                            std::int32_t new_total) {
  trace.Framed("| UpdateStructureCount: 4");
  if (trace.On() && new_total > c.max_amount) {
    trace.Framed("| UpdateStructureCount: 4A");
  }
  if (c.change < 0) {
    trace.Framed("| UpdateStructureCount: 4B");
  }
  TraceResult(trace, c.team_id, old_total, c.change, new_total);
}

}  // namespace

bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id) {
  if (ExemptAdmin(steam_id)) {
    return true;
  }
  if (TeamLimitExceeded().Flagged(team_id)) {
    return false;
  }
  if (TeamTotals()[team_id] >= MaxAmount()) {
    return false;
  }
  Ledger& ledger = StructureLedger();
  const auto entry = ledger.find(path.View());
  if (entry == ledger.end()) {
    return true;
  }
  const std::int32_t count = entry->second[team_id];
  const TraceLines trace;
  trace("StructureAllowed: team_id: {}", team_id);
  trace("StructureAllowed: path_name: {}", Utf8Text{path.View()});
  trace("StructureAllowed: count: {}", count);
  return count < ledger.LimitOf(entry, path.View());
}

CountChange PrepareCountChange(const TraceLines& trace, const FString& path, std::int32_t team_id,
                               std::int32_t change) {
  CountChange c;
  c.path = &path;
  c.team_id = team_id;
  c.change = change;
  // The game's text ends at its first NUL, so a path that starts with one is empty.
  c.counted = !std::u16string_view(*path).empty() && team_id > kHighestUncountedTeam;
  Ledger& ledger = StructureLedger();
  c.entry = ledger.end();
  if (!c.counted) {
    return c;
  }
  c.entry = ledger.find(path.View());
  if (c.entry != ledger.end()) {
    if (Plus(CountIn(c.entry->second, team_id), change) >= 0) {
      c.limit = ledger.LimitOf(c.entry, path.View());
    }
  } else if (trace.On()) {
    c.max_amount = MaxAmount();
  }
  return c;
}

void ApplyCountChange(const TraceLines& trace, const CountChange& c) {
  trace(kTraceOpeningRule);
  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Starting!");
  trace("|");
  trace("| UpdateStructureCount: team_id: {}", c.team_id);
  trace("| UpdateStructureCount: path_name: {}", Utf8Text{c.path->View()});
  trace("| UpdateStructureCount: changeCount: {}", c.change);
  trace("|");
  trace("|");
  trace(kTraceClosingRule);

  if (c.counted) {
    trace.Framed("| UpdateStructureCount: Debug code: 1");
    TeamCounts& totals = TeamTotals();
    const std::int32_t old_total = totals[c.team_id];
    const std::int32_t new_total = Plus(old_total, c.change);
    if (new_total >= 0) {
      totals[c.team_id] = new_total;
    }
    if (c.entry != StructureLedger().end()) {
      ApplyConfiguredCount(trace, c);
    } else {
      ApplyUnconfiguredCount(trace, c, old_total, new_total);
    }
  }

  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Finished");
  trace("|");
  trace("|");
  trace(kTraceClosingRule);
}

void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change) {
  const TraceLines trace;
  ApplyCountChange(trace, PrepareCountChange(trace, path, team_id, change));
}

bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count) {
  return count <= StructureLedger().LimitOf(entry, entry->first.View());
}

bool AllowMergedStructureCounts(std::int32_t team_id1, std::int32_t team_id2) {
  const TraceLines trace;
  trace.Banner("| AllowMergedStructureCounts: Starts");
  // One at a time: reading may add a team, and that may move the other.
  const std::int32_t total1 = TeamTotals()[team_id1];
  const std::int32_t total2 = TeamTotals()[team_id2];
  if (Plus(total1, total2) > MaxAmount()) {
    return false;
  }
  const Ledger& ledger = StructureLedger();
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    const TeamCounts& counts = entry->second;
    const std::int32_t sum = Plus(CountIn(counts, team_id1), CountIn(counts, team_id2));
    trace("| AllowMergedStructureCounts: count: {}", sum);
    if (!BlueprintWithinLimit(entry, sum)) {
      trace("| AllowMergedStructureCounts: Return: false");
      return false;
    }
  }
  trace("| AllowMergedStructureCounts: Ends");
  return true;
}

}  // namespace cairnward
