#include "accounting/team_identity.h"

#include "api/game_members.h"
#include "config/debug_trace.h"
#include "host/game.h"

namespace cairnward {

std::int32_t GetTeamID(AShooterPlayerState* player) {
  DebugTrace("|");
  DebugTrace("|");
  DebugTrace("| GetTeamID: Starts");
  DebugTrace("|");
  DebugTrace("|");
  std::int32_t team_id = 0;
  if (CallGame<game::kIsInTribe>(player)) {
    // A player between two tribe records counts as no team, which callers skip.
    if (const FTribeData* tribe = Field<game::kCurrentTribeDataPtr>(player); tribe != nullptr) {
      team_id = Field<game::kTribeID>(tribe);
    }
    DebugTrace("|");
    DebugTrace("| GetTeamID: return tribe_id: {}", team_id);
  } else {
    if (UPrimalPlayerData* data = Field<game::kMyPlayerData>(player); data != nullptr) {
      team_id = CallGame<game::kGetTribeTeamID>(data);
    }
    DebugTrace("|");
    DebugTrace("| GetTeamID: return player_id: {}", team_id);
  }
  DebugTrace("|");
  return team_id;
}

}  // namespace cairnward
