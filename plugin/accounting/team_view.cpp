#include "accounting/team_view.h"

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"

namespace cairnward {
namespace {

std::int32_t CountIn(const TeamCounts& counts, std::int32_t team) {
  const auto it = counts.find(team);
  return it != counts.end() ? it->second : 0;
}

}  // namespace

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

std::uint32_t PositionOfEntry(Ledger::const_iterator entry) {
  const Ledger& ledger = StructureLedger();
  return static_cast<std::uint32_t>(
      BlueprintPosition(static_cast<std::size_t>(entry.Position() - ledger.begin().Position())));
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
      own.emplace_back(PositionOfEntry(entry), count);
    }
  }
  for (std::size_t group = 0; group < limits->groups.size(); ++group) {
    if (limits->groups[group]) {
      own.emplace_back(static_cast<std::uint32_t>(GroupPosition(group)), *limits->groups[group]);
    }
  }
  return own;
}

std::vector<std::int32_t> LimitsInOrder(std::int32_t team, std::vector<std::int32_t> everyone) {
  for (const auto& [position, limit] : OwnLimitsInOrder(team)) {
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
