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

void TraceResult(std::int32_t team_id, std::int32_t current, std::int32_t change,
                 std::int32_t final_count) {
  DebugTrace(kTraceOpeningRule);
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace("| UpdateStructureCount: Result!");
  DebugTrace("|");
  DebugTrace("| UpdateStructureCount: Limit_exceeded: {}", TeamLimitExceeded()[team_id]);
  DebugTrace("| UpdateStructureCount: CurrentCount: {}", current);
  DebugTrace("| UpdateStructureCount: ChangeCount: {}", change);
  DebugTrace("| UpdateStructureCount: FinalCount: {}", final_count);
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace(kTraceClosingRule);
}

void UpdateConfiguredCount(TeamCounts& counts, const FString& path, std::int32_t team_id,
                           std::int32_t change) {
  TraceFramed("| UpdateStructureCount: Debug code: 2");
  const std::int32_t old_count = counts[team_id];
  const std::int32_t new_count = Plus(old_count, change);
  if (new_count >= 0) {
    TraceFramed("| UpdateStructureCount: Debug code: 3");
    counts[team_id] = new_count;
    if (new_count > BlueprintLimit(path.View())) {
      TeamLimitExceeded()[team_id] = true;
    }
    TraceFramed("| UpdateStructureCount: Debug code: 3A");
    // A removal that brings the team back within the limit lifts the flag,
    // even one set by another blueprint.
    if (change < 0 && new_count <= BlueprintLimit(path.View())) {
      TeamLimitExceeded()[team_id] = false;
    }
    TraceFramed("| UpdateStructureCount: 3B");
  }
  TraceResult(team_id, old_count, change, new_count);
}

void UpdateUnconfiguredCount(std::int32_t team_id, std::int32_t change, std::int32_t old_total,
                             std::int32_t new_total) {
  TraceFramed("| UpdateStructureCount: 4");
  if (new_total > MaxAmount()) {
    TraceFramed("| UpdateStructureCount: 4A");
    TeamLimitExceeded()[team_id] = true;
  }
  if (change < 0) {
    TraceFramed("| UpdateStructureCount: 4B");
    TeamLimitExceeded()[team_id] = false;
  }
  TraceResult(team_id, old_total, change, new_total);
}

}  // namespace

bool StructureAllowed(const FString& path, std::int32_t team_id, std::uint64_t steam_id) {
  if (ExemptAdmin(steam_id)) {
    return true;
  }
  if (TeamLimitExceeded()[team_id]) {
    return false;
  }
  if (TeamTotals()[team_id] >= MaxAmount()) {
    return false;
  }
  TeamCounts* counts = FindLedgerEntry(path.View());
  if (counts == nullptr) {
    return true;
  }
  const std::int32_t count = (*counts)[team_id];
  DebugTrace("StructureAllowed: team_id: {}", team_id);
  DebugTrace("StructureAllowed: path_name: {}", Utf8Text{path.View()});
  DebugTrace("StructureAllowed: count: {}", count);
  return count < BlueprintLimit(path.View());
}

void UpdateStructureCount(const FString& path, std::int32_t team_id, std::int32_t change) {
  DebugTrace(kTraceOpeningRule);
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace("| UpdateStructureCount: Starting!");
  DebugTrace("|");
  DebugTrace("| UpdateStructureCount: team_id: {}", team_id);
  DebugTrace("| UpdateStructureCount: path_name: {}", Utf8Text{path.View()});
  DebugTrace("| UpdateStructureCount: changeCount: {}", change);
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace(kTraceClosingRule);

  // The game's text ends at its first NUL, so a path that starts with one is empty.
  if (!std::u16string_view(*path).empty() && team_id > kHighestUncountedTeam) {
    TraceFramed("| UpdateStructureCount: Debug code: 1");
    const std::int32_t old_total = TeamTotals()[team_id];
    const std::int32_t new_total = Plus(old_total, change);
    if (new_total >= 0) {
      TeamTotals()[team_id] = new_total;
    }
    if (TeamCounts* counts = FindLedgerEntry(path.View()); counts != nullptr) {
      UpdateConfiguredCount(*counts, path, team_id, change);
    } else {
      UpdateUnconfiguredCount(team_id, change, old_total, new_total);
    }
  }

  DebugTrace("|");
  DebugTrace("|");
  DebugTrace("| UpdateStructureCount: Finished");
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace(kTraceClosingRule);
}

bool BlueprintWithinLimit(const FString& path, std::int32_t count) {
  return count <= BlueprintLimit(path.View());
}

bool AllowMergedStructureCounts(std::int32_t team_id1, std::int32_t team_id2) {
  TraceBanner("| AllowMergedStructureCounts: Starts");
  auto& totals = TeamTotals();
  if (Plus(totals[team_id1], totals[team_id2]) > MaxAmount()) {
    return false;
  }
  const auto count_of = [](const TeamCounts& counts, std::int32_t team_id) {
    const auto it = counts.find(team_id);
    return it != counts.end() ? it->second : 0;
  };
  for (const auto& [path, counts] : StructureLedger()) {
    const std::int32_t sum = Plus(count_of(counts, team_id1), count_of(counts, team_id2));
    DebugTrace("| AllowMergedStructureCounts: count: {}", sum);
    if (!BlueprintWithinLimit(path, sum)) {
      DebugTrace("| AllowMergedStructureCounts: Return: false");
      return false;
    }
  }
  DebugTrace("| AllowMergedStructureCounts: Ends");
  return true;
}

}  // namespace cairnward
