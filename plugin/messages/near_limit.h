#pragma once

#include <cstdint>
#include <string_view>

#include "accounting/limit_rules.h"
#include "accounting/team_view.h"
#include "api/game_types.h"

namespace cairnward {

// After a placement the plug-in allowed and counted: of the limits it counts
// against (the blueprint's, its groups', the total) that the team's new count
// has brought to "WarnAtPercent" percent or more, the nearest to its limit is
// named to the player in one "NearLimitMsg" notification. `after` holds
// the team's counts with the placement counted. Nothing without
// "WarnAtPercent". Fails with the JSON library's or
// the formatter's error.
void WarnNearLimit(AShooterPlayerController* player, std::u16string_view path,
                   const PathFacts& facts, std::int32_t team, const TeamView& after);

}  // namespace cairnward
