#include "accounting/team_view.h"

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"

namespace cairnward {
std::int32_t TeamView::Group(std::size_t group) const {
  return At(GroupPosition(group));
}

std::size_t ViewSize() {
  return 1 + StructureLedger().size() + Limits().Groups().size();
}

std::size_t BlueprintPosition(std::size_t entry) {
  return 1 + entry;
}

std::size_t GroupPosition(std::size_t group) {
  return 1 + StructureLedger().size() + group;
}

std::size_t IndexOfEntry(Ledger::const_iterator entry) {
  return static_cast<std::size_t>(entry.Position() - StructureLedger().begin().Position());
}

std::uint32_t PositionOfEntry(Ledger::const_iterator entry) {
  return static_cast<std::uint32_t>(BlueprintPosition(IndexOfEntry(entry)));
}

TeamView LocalTeamView(std::int32_t team) {
  std::vector<std::int32_t> counts;
  counts.reserve(ViewSize());
  counts.push_back(CountIn(TeamTotals(), team));
  for (const auto& [path, of_teams] : StructureLedger()) {
    counts.push_back(CountIn(of_teams, team));
  }
  const GroupTally* tally = CountedGroups();
  for (std::size_t group = 0; group < Limits().Groups().size(); ++group) {
    counts.push_back(tally != nullptr ? GroupCount(*tally, group, team) : 0);
  }
  return TeamView(std::move(counts));
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

std::vector<std::pair<Ledger::const_iterator, std::int32_t>> TeamEntryLimits(std::int32_t team) {
  std::vector<std::pair<Ledger::const_iterator, std::int32_t>> entries;
  const TeamLimits* limits = Limits().LimitsOf(team);
  if (limits == nullptr) {
    return entries;
  }
  const Ledger& ledger = StructureLedger();
  for (const auto& [path, count] : limits->structures) {
    const auto entry = ledger.find(path);
    // The ledger matches without regard to case; a team limit does not.
    if (entry != ledger.end() && entry->first.View() == std::u16string_view(path)) {
      entries.emplace_back(entry, count);
    }
  }
  return entries;
}

std::vector<std::pair<std::uint32_t, std::int32_t>> TeamLimitsInOrder(std::int32_t team) {
  std::vector<std::pair<std::uint32_t, std::int32_t>> in_order;
  const TeamLimits* limits = Limits().LimitsOf(team);
  if (limits == nullptr) {
    return in_order;
  }
  if (limits->max_amount) {
    in_order.emplace_back(0, *limits->max_amount);
  }
  for (const auto& [entry, count] : TeamEntryLimits(team)) {
    in_order.emplace_back(PositionOfEntry(entry), count);
  }
  for (std::size_t group = 0; group < limits->groups.size(); ++group) {
    if (limits->groups[group]) {
      in_order.emplace_back(static_cast<std::uint32_t>(GroupPosition(group)),
                            *limits->groups[group]);
    }
  }
  return in_order;
}

std::vector<std::int32_t> LimitsInOrder(std::int32_t team, std::vector<std::int32_t> everyone) {
  for (const auto& [position, limit] : TeamLimitsInOrder(team)) {
    if (position < everyone.size()) {
      everyone[position] = limit;
    }
  }
  return everyone;
}

std::vector<std::uint32_t> PositionsOf(const PathFacts& facts) {
  std::vector<std::uint32_t> positions{0};
  Ledger& ledger = StructureLedger();
  if (facts.entry != ledger.end()) {
    positions.push_back(PositionOfEntry(facts.entry));
  }
  for (const std::uint32_t group : facts.groups) {
    positions.push_back(static_cast<std::uint32_t>(GroupPosition(group)));
  }
  return positions;
}

}  // namespace cairnward
