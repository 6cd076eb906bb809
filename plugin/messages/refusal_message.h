#pragma once

#include "accounting/refusal.h"
#include "api/game_types.h"

namespace cairnward {

// Tells the player that his placement was refused: "ReachLimitMsg" naming
// the limit, where the administrator gave one, else "ReachLimit" as it
// stands; then, while "Debug" is on, a trace line naming the limit. Fails
// with the JSON library's or the formatter's error.
void NotifyPlacementRefused(AShooterPlayerController* player, const Refusal& refusal);

}  // namespace cairnward
