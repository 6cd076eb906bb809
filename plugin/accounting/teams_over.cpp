#include "accounting/teams_over.h"

#include <algorithm>
#include <utility>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/team_view.h"
#include "config/config.h"

namespace cairnward {
namespace {

// The teams that may be above a limit: the flagged ones, and those above
// their total, which has no marks of its own. Each once.
std::vector<std::int32_t> Candidates() {
  const ExceededLimits& exceeded = TeamLimitExceeded();
  std::vector<std::int32_t> teams;
  teams.reserve(exceeded.Numbers().size());
  for (const auto& [team, number] : exceeded.Numbers()) {
    teams.push_back(team);
  }
  const std::int32_t everyone = MaxAmountForEveryone();
  const LimitPlan& plan = Limits();
  for (const auto& [team, total] : TeamTotals()) {
    const TeamLimits* team_limits = plan.LimitsOf(team);
    const std::int32_t limit =
        team_limits != nullptr && team_limits->max_amount ? *team_limits->max_amount : everyone;
    if (total > 0 && total > limit && !exceeded.Flagged(team)) {
      teams.push_back(team);
    }
  }
  return teams;
}

// The team's limits that the view's counts are above, in the order a reply
// lists them: blueprints and groups in view order, then the total.
TeamOver Standing(std::int32_t team, const TeamView& view,
                  const std::vector<std::int32_t>& everyone) {
  const std::vector<std::int32_t> limits = LimitsInOrder(team, everyone);
  TeamOver over;
  over.team = team;
  const auto consider = [&](std::uint32_t position) {
    const std::int32_t count = view.Counts()[position];
    if (AboveLimit(count, limits[position])) {
      over.above.push_back({position, count, limits[position]});
      over.excess += static_cast<std::int64_t>(count) - limits[position];
    }
  };
  const std::size_t size = std::min(limits.size(), view.Counts().size());
  for (std::uint32_t position = 1; position < size; ++position) {
    consider(position);
  }
  if (size > 0) {
    consider(0);
  }
  return over;
}

void MostOverFirst(std::vector<TeamOver>& teams) {
  std::sort(teams.begin(), teams.end(), [](const TeamOver& a, const TeamOver& b) {
    return a.excess != b.excess ? a.excess > b.excess : a.team < b.team;
  });
}

}  // namespace

std::vector<TeamOver> TeamsOverLimits() {
  const std::vector<std::int32_t> everyone = LimitsInOrder();
  std::vector<TeamOver> teams;
  for (const std::int32_t team : Candidates()) {
    TeamOver over = Standing(team, LocalTeamView(team), everyone);
    if (!over.above.empty()) {
      teams.push_back(std::move(over));
    }
  }
  MostOverFirst(teams);
  return teams;
}

std::vector<std::int32_t> TeamsCountedHere() {
  std::vector<std::int32_t> teams;
  teams.reserve(TeamTotals().size());
  for (const auto& [team, total] : TeamTotals()) {
    if (total > 0) {
      teams.push_back(team);
    }
  }
  const ExceededLimits& exceeded = TeamLimitExceeded();
  for (const auto& [team, number] : exceeded.Numbers()) {
    if (CountIn(TeamTotals(), team) <= 0) {
      teams.push_back(team);
    }
  }
  return teams;
}

std::vector<TeamOver> TeamsOverLimits(std::span<const std::int32_t> teams,
                                      std::span<const TeamView> views) {
  const std::vector<std::int32_t> everyone = LimitsInOrder();
  std::vector<TeamOver> over;
  for (std::size_t i = 0; i < teams.size() && i < views.size(); ++i) {
    TeamOver standing = Standing(teams[i], views[i], everyone);
    if (!standing.above.empty()) {
      over.push_back(std::move(standing));
    }
  }
  MostOverFirst(over);
  return over;
}

}  // namespace cairnward
