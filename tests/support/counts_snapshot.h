#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "accounting/ledger.h"
#include "config/limit_plan.h"

namespace cairnward::testing {

// The plug-in's counts, group counts, totals and numbers of limits exceeded
// (the flags) with zeros left out, so that an absent team equals a zero: two
// snapshots are equal when the counts mean the same.
using CountsSnapshot = std::map<std::pair<std::u16string, std::int32_t>, std::int32_t>;

inline CountsSnapshot SnapshotCounts() {
  CountsSnapshot snapshot;
  for (const auto& [path, counts] : StructureLedger()) {
    for (const auto& [team, count] : counts) {
      if (count != 0) {
        snapshot[{std::u16string(path.View()), team}] = count;
      }
    }
  }
  for (const auto& [team, total] : TeamTotals()) {
    if (total != 0) {
      snapshot[{u"(total)", team}] = total;
    }
  }
  const GroupTally& groups = GroupCounts();
  for (std::size_t group = 0; group < groups.counts.size(); ++group) {
    for (const auto& [team, count] : groups.counts[group]) {
      if (count != 0) {
        snapshot[{u"(group " +
                      std::u16string(groups.plan->Groups()[group].key.begin(),
                                     groups.plan->Groups()[group].key.end()) +
                      u")",
                  team}] = count;
      }
    }
  }
  for (const auto& [team, number] : TeamLimitExceeded().Numbers()) {
    snapshot[{u"(limits exceeded)", team}] = number;
  }
  return snapshot;
}

}  // namespace cairnward::testing
