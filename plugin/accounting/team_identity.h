#pragma once

#include <cstdint>

#include "api/game_types.h"

namespace cairnward {

// The team a player acts for: his tribe's id, or the team id of his own
// player data when he has no tribe. 0 (no team) when the record it would read
// is missing. `player` must not be null.
std::int32_t GetTeamID(AShooterPlayerState* player);

}  // namespace cairnward
