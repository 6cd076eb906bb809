#include "hooks/hooks.h"

namespace cairnward {

bool Hook_AShooterPlayerState_AddToTribe(AShooterPlayerState* player, FTribeData* tribe,
                                         bool merge_tribe, bool force, bool from_invite,
                                         APlayerController* inviter) {
  return original::AddToTribe(player, tribe, merge_tribe, force, from_invite, inviter);
}

}  // namespace cairnward
