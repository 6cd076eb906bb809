#pragma once

#include <optional>

#include "api/fstring.h"
#include "api/game_types.h"
#include "api/rcon_packet.h"

namespace cairnward {

// The chat command's name as registered at load; a reload never renames it,
// and says so when the file names another.
std::optional<FString>& ChatCommandName();

// "cairnward.reload" from a player's console and from RCON.
void ReloadConfigConsole(APlayerController* player, FString* command, bool flag);
void ReloadConfigRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

}  // namespace cairnward
