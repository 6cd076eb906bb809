#include "cluster/field_layout.h"

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "config/config.h"
#include "host/text.h"

namespace cairnward {
namespace {

// The position of a ledger entry's count in a view.
std::uint32_t PositionOfEntry(const Ledger& ledger, Ledger::const_iterator entry) {
  return static_cast<std::uint32_t>(
      BlueprintPosition(static_cast<std::size_t>(entry.Position() - ledger.begin().Position())));
}

}  // namespace

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

std::vector<std::int32_t> LimitsInOrder() {
  std::vector<std::int32_t> limits;
  limits.reserve(ViewSize());
  limits.push_back(MaxAmountForEveryone());
  Ledger& ledger = StructureLedger();
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry) {
    limits.push_back(ledger.LimitOf(entry, entry->first.View()));
  }
  for (const GroupLimit& group : Limits().Groups()) {
    limits.push_back(group.count);
  }
  return limits;
}

std::vector<std::pair<std::uint32_t, std::int32_t>> OwnLimitsInOrder(std::int32_t team) {
  std::vector<std::pair<std::uint32_t, std::int32_t>> own;
  const TeamLimits* limits = Limits().LimitsOf(team);
  if (limits == nullptr) {
    return own;
  }
  if (limits->max_amount) {
    own.emplace_back(0, *limits->max_amount);
  }
  const Ledger& ledger = StructureLedger();
  for (const auto& [path, count] : limits->structures) {
    const auto entry = ledger.find(path);
    if (entry != ledger.end() && entry->first.View() == std::u16string_view(path)) {
      own.emplace_back(PositionOfEntry(ledger, entry), count);
    }
  }
  for (std::size_t group = 0; group < limits->groups.size(); ++group) {
    if (limits->groups[group]) {
      own.emplace_back(static_cast<std::uint32_t>(GroupPosition(group)), *limits->groups[group]);
    }
  }
  return own;
}

std::vector<std::uint32_t> PositionsOf(const PathFacts& facts) {
  std::vector<std::uint32_t> positions{0};
  Ledger& ledger = StructureLedger();
  if (facts.entry != ledger.end()) {
    positions.push_back(PositionOfEntry(ledger, facts.entry));
  }
  for (const std::uint32_t group : facts.groups) {
    positions.push_back(static_cast<std::uint32_t>(GroupPosition(group)));
  }
  return positions;
}

OwnCounts CountsByTeam() {
  OwnCounts own;
  // Room for every team at once: grown as it fills, a map filled in the
  // order of another of the same hash meets long runs of taken slots.
  own.reserve(TeamTotals().size());
  const auto add = [&](const TeamCounts& counts, std::size_t position) {
    for (const auto& [team, count] : counts) {
      if (count > 0 && team > kHighestUncountedTeam) {
        own[team].emplace_back(static_cast<std::uint32_t>(position), count);
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
