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

}  // namespace cairnward
