#include "cluster/field_layout.h"

#include <algorithm>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "config/config.h"
#include "host/text.h"

namespace cairnward {
bool FieldLayout::Refresh() {
  const Ledger& ledger = StructureLedger();
  if (fields_.size() == ViewSize() && generation_ == ConfigGeneration() &&
      ledger_size_ == ledger.size()) {
    return false;
  }
  fields_.clear();
  fields_.reserve(ViewSize());
  fields_.emplace_back("total");
  for (const auto& [path, counts] : ledger) {
    fields_.push_back("b:" + ToUtf8(path.View()));
  }
  for (const GroupLimit& group : Limits().Groups()) {
    fields_.push_back("g:" + group.key);
  }
  positions_.clear();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    positions_.emplace(fields_[i], static_cast<std::uint32_t>(i));
  }
  generation_ = ConfigGeneration();
  ledger_size_ = ledger.size();
  return true;
}

std::optional<std::uint32_t> FieldLayout::PositionOf(std::string_view field) const {
  const auto at = positions_.find(field);
  if (at == positions_.end()) {
    return std::nullopt;
  }
  return at->second;
}

OwnCounts CountsByTeam() {
  OwnCounts own;
  // Room for every team at once: grown as it fills, a map filled in the
  // order of another of the same hash meets long runs of taken slots.
  own.reserve(TeamTotals().size());
  // Room for a typical team's fields at once: growing tens of thousands of
  // small vectors one doubling at a time costs the game thread more than
  // the counting itself.
  const std::size_t typical = std::min<std::size_t>(ViewSize(), 32);
  const auto add = [&](const TeamCounts& counts, std::size_t position) {
    for (const auto& [team, count] : counts) {
      if (count > 0 && team > kHighestUncountedTeam) {
        TeamCountPairs& pairs = own[team];
        if (pairs.capacity() == 0) {
          pairs.reserve(typical);
        }
        pairs.emplace_back(static_cast<std::uint32_t>(position), count);
      }
    }
  };
  add(TeamTotals(), 0);
  std::size_t entry = 0;
  for (const auto& [path, counts] : StructureLedger()) {
    add(counts, BlueprintPosition(entry++));
  }
  if (const GroupTally* tally = CountedGroups(); tally != nullptr) {
    for (std::size_t group = 0; group < tally->counts.size(); ++group) {
      add(tally->counts[group], GroupPosition(group));
    }
  }
  return own;
}

}  // namespace cairnward
