#include "accounting/limit_rules.h"

#include <string_view>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/settings.h"

namespace cairnward {
namespace {

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
  // Read whether or not it is written: reading makes the team's entry.
  trace("| UpdateStructureCount: Limit_exceeded: {}", TeamLimitExceeded()[team_id]);
  trace("| UpdateStructureCount: CurrentCount: {}", current);
  trace("| UpdateStructureCount: ChangeCount: {}", change);
  trace("| UpdateStructureCount: FinalCount: {}", final_count);
  trace("|");
  trace("|");
  trace(kTraceClosingRule);
}

void UpdateConfiguredCount(const TraceLines& trace, Ledger::iterator entry, const FString& path,
                           std::int32_t team_id, std::int32_t change) {
  trace.Framed("| UpdateStructureCount: Debug code: 2");
  TeamCounts& counts = entry->second;
  const std::int32_t old_count = counts[team_id];
  const std::int32_t new_count = Plus(old_count, change);
  if (new_count >= 0) {
    trace.Framed("| UpdateStructureCount: Debug code: 3");
    counts[team_id] = new_count;
    const std::int32_t limit = BlueprintLimitOf(entry, path.View(), team_id);
    if (new_count > limit) {
      TeamLimitExceeded()[team_id] = true;
    }
    trace.Framed("| UpdateStructureCount: Debug code: 3A");
    // A removal that brings the team back within the limit lifts the flag,
    // even one set by another blueprint.
    if (change < 0 && new_count <= limit) {
      TeamLimitExceeded()[team_id] = false;
    }
    trace.Framed("| UpdateStructureCount: 3B");
  }
  TraceResult(trace, team_id, old_count, change, new_count);
}

void UpdateUnconfiguredCount(const TraceLines& trace, std::int32_t team_id, std::int32_t change,
                             std::int32_t old_total, std::int32_t new_total) {
  trace.Framed("| UpdateStructureCount: 4");
  if (new_total > MaxAmountOf(team_id)) {
    trace.Framed("| UpdateStructureCount: 4A");
    TeamLimitExceeded()[team_id] = true;
  }
  if (change < 0) {
    trace.Framed("| UpdateStructureCount: 4B");
    TeamLimitExceeded()[team_id] = false;
  }
  TraceResult(trace, team_id, old_total, change, new_total);
}

}  // namespace

bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id) {
  if (ExemptAdmin(steam_id)) {
    return true;
  }
  if (TeamLimitExceeded()[team_id]) {
    return false;
  }
  if (TeamTotals()[team_id] >= MaxAmountOf(team_id)) {
    return false;
  }
  if (!GroupsAllowOneMore(path.View(), team_id)) {
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
  return count < BlueprintLimitOf(entry, path.View(), team_id);
}

void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change) {
  const TraceLines trace;
  trace(kTraceOpeningRule);
  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Starting!");
  trace("|");
  trace("| UpdateStructureCount: team_id: {}", team_id);
  trace("| UpdateStructureCount: path_name: {}", Utf8Text{path.View()});
  trace("| UpdateStructureCount: changeCount: {}", change);
  trace("|");
  trace("|");
  trace(kTraceClosingRule);

  // The game's text ends at its first NUL, so a path that starts with one is empty.
  if (!std::u16string_view(*path).empty() && team_id > kHighestUncountedTeam) {
    trace.Framed("| UpdateStructureCount: Debug code: 1");
    const std::int32_t old_total = TeamTotals()[team_id];
    const std::int32_t new_total = Plus(old_total, change);
    if (new_total >= 0) {
      TeamTotals()[team_id] = new_total;
    }
    if (const auto entry = StructureLedger().find(path.View()); entry != StructureLedger().end()) {
      UpdateConfiguredCount(trace, entry, path, team_id, change);
    } else {
      UpdateUnconfiguredCount(trace, team_id, change, old_total, new_total);
    }
    UpdateGroupCounts(path.View(), team_id, change);
  }

  trace("|");
  trace("|");
  trace("| UpdateStructureCount: Finished");
  trace("|");
  trace("|");
  trace(kTraceClosingRule);
}

bool BlueprintWithinLimit(Ledger::const_iterator entry, std::int32_t count, std::int32_t team_id) {
  return count <= BlueprintLimitOf(entry, entry->first.View(), team_id);
}

std::int32_t MaxAmountOf(std::int32_t team_id) {
  if (const TeamLimits* own = Limits().LimitsOf(team_id); own != nullptr && own->max_amount) {
    return *own->max_amount;
  }
  return SettingOr<std::int32_t>(PluginConfig(), settings::kMaxAmount);
}

std::int32_t BlueprintLimitOf(Ledger::const_iterator entry, std::u16string_view path,
                              std::int32_t team_id) {
  if (const TeamLimits* own = Limits().LimitsOf(team_id); own != nullptr) {
    if (const auto it = own->structures.find(path); it != own->structures.end()) {
      return it->second;
    }
  }
  return StructureLedger().LimitOf(entry, path);
}

bool AllowMergedStructureCounts(std::int32_t team_id1, std::int32_t team_id2) {
  const TraceLines trace;
  trace.Banner("| AllowMergedStructureCounts: Starts");
  // One at a time: reading may add a team, and that may move the other.
  const std::int32_t total1 = TeamTotals()[team_id1];
  const std::int32_t total2 = TeamTotals()[team_id2];
  if (Plus(total1, total2) > MaxAmountOf(team_id1)) {
    return false;
  }
  const auto count_of = [](const TeamCounts& counts, std::int32_t team_id) {
    const auto it = counts.find(team_id);
    return it != counts.end() ? it->second : 0;
  };
  const Ledger& ledger = StructureLedger();
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    const TeamCounts& counts = entry->second;
    const std::int32_t sum = Plus(count_of(counts, team_id1), count_of(counts, team_id2));
    trace("| AllowMergedStructureCounts: count: {}", sum);
    if (!BlueprintWithinLimit(entry, sum, team_id1)) {
      trace("| AllowMergedStructureCounts: Return: false");
      return false;
    }
  }
  if (!GroupsWithinMergedLimits(team_id1, team_id2)) {
    trace("| AllowMergedStructureCounts: Return: false");
    return false;
  }
  trace("| AllowMergedStructureCounts: Ends");
  return true;
}

}  // namespace cairnward
