#include "accounting/team_move.h"

#include <vector>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"

namespace cairnward {
namespace {

// One ledger entry's share of a move: both count changes, prepared.
struct MoveStep {
  std::int32_t moved;
  CountChange to_gains;
  CountChange from_loses;
};

std::vector<MoveStep> PrepareMove(const TraceLines& trace, std::int32_t from, std::int32_t to) {
  std::vector<MoveStep> steps;
  Ledger& ledger = StructureLedger();
  steps.reserve(ledger.size());
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    const std::int32_t moved = CountIn(entry->second, from);
    steps.push_back({moved, PrepareCountChange(trace, entry->first, to, +moved),
                     PrepareCountChange(trace, entry->first, from, -moved)});
  }
  return steps;
}

}  // namespace

void MoveTeamCounts(std::int32_t from, std::int32_t to, const MoveTrace& per_entry) {
  const TraceLines trace;
  const std::vector<MoveStep> steps = PrepareMove(trace, from, to);
  auto& totals = TeamTotals();
  // One at a time: reading may add a team, and that may move the other.
  const std::int32_t from_total = totals[from];
  totals[to] += from_total;
  std::int32_t sum = 0;
  for (const MoveStep& step : steps) {
    sum += step.moved;
    per_entry(trace, step.moved, false);
    ApplyCountChange(trace, step.to_gains);
    ApplyCountChange(trace, step.from_loses);
    per_entry(trace, step.moved, true);
  }
  // Blueprints with ledger counts took their share of the groups along.
  MoveGroupCounts(from, to);
  totals.erase(from);
  totals[to] -= sum;
  if (to <= kHighestUncountedTeam) {
    // Such a team is never counted: its structures count nowhere, as in a recount.
    totals.erase(to);
  }
}

}  // namespace cairnward
