#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "accounting/team_view.h"

namespace cairnward {

// One limit a team is above: its position in the team's view (see
// team_view.h), the count there and the limit.
struct LimitAbove {
  std::uint32_t position = 0;
  std::int32_t count = 0;
  std::int32_t limit = 0;
};

// A team above at least one of its limits: those limits, blueprints first,
// then groups, then the total, and how far above them it is altogether.
struct TeamOver {
  std::int32_t team = 0;
  std::int64_t excess = 0;  // the sum of count - limit over `above`
  std::vector<LimitAbove> above;
};

// Every team above any of its limits by this server's counts, most over
// first, then by team id. Only the teams flagged over a limit and those above
// their total (which refuses a placement without flagging) are looked at, so
// the cost follows the teams over, not every team times every limit. A team
// that owns none of a limited blueprint or group is never above that limit.
std::vector<TeamOver> TeamsOverLimits();

// The teams this server counts: every team with structures here and every
// team flagged over a limit here, each once.
std::vector<std::int32_t> TeamsCountedHere();

// Of the teams given, each with its view (views[i] is teams[i]'s, whoever's
// counts it holds), those above any of their limits, most over first, then
// by team id.
std::vector<TeamOver> TeamsOverLimits(std::span<const std::int32_t> teams,
                                      std::span<const TeamView> views);

}  // namespace cairnward
