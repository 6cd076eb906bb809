#pragma once

#include "api/fstring.h"
#include "api/game_types.h"
#include "api/rcon_packet.h"

namespace cairnward {

// "cairnward.reload" from a player's console and from RCON.
void ReloadConfigConsole(APlayerController* player, FString* command, bool flag);
void ReloadConfigRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

}  // namespace cairnward
