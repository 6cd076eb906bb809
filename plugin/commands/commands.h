#pragma once

#include <algorithm>
#include <string_view>

#include "api/fstring.h"
#include "api/game_types.h"
#include "api/rcon_packet.h"

namespace cairnward {

// The console and RCON commands' names, as registered and removed.
inline constexpr std::u16string_view kReloadCommand = u"cairnward.reload";
inline constexpr std::u16string_view kUpdateStructuresCommand = u"UpdateStructures";
inline constexpr std::u16string_view kGetBpCommand = u"GetBp";
inline constexpr std::u16string_view kTeamLimitsCommand = u"cairnward.limits";
inline constexpr std::u16string_view kStatusCommand = u"cairnward.status";
inline constexpr std::u16string_view kOverCommand = u"cairnward.over";
inline constexpr std::u16string_view kClusterCommand = u"cairnward.cluster";

// Chat: the player's structure counts against the limits.
void ShowLimitsChat(AShooterPlayerController* player, FString* message, bool mode);

// Whether a chat command name holds a blank (a space, a tab, a line break)
// inside or at either end: chat splits a typed line there, so no player can
// type the command.
// The plug-in asks of the game's text, the config checker of the file's.
template <typename Char>
bool HasBlank(std::basic_string_view<Char> name) {
  return std::any_of(name.begin(), name.end(), [](Char unit) {
    return unit == Char(' ') || (unit >= Char('\t') && unit <= Char('\r'));
  });
}

// Console and RCON "UpdateStructures": a full recount.
void UpdateStructuresConsole(APlayerController* player, FString* command, bool flag);
void UpdateStructuresRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Console and RCON "cairnward.limits <team id or player name>": that team's
// limits, as show-limits shows them to its players.
void TeamLimitsConsole(APlayerController* player, FString* command, bool flag);
void TeamLimitsRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Console and RCON "cairnward.status": the configuration in force, the
// counts, the last recount and the cluster's state.
void StatusConsole(APlayerController* player, FString* command, bool flag);
void StatusRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Console and RCON "cairnward.over [N]": the N teams most over their limits.
void OverConsole(APlayerController* player, FString* command, bool flag);
void OverRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Console and RCON "cairnward.cluster retire GRID | rebuild | check": an
// administrator's repair of the cluster's counts, started in the background.
void ClusterConsole(APlayerController* player, FString* command, bool flag);
void ClusterRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Console "GetBp": the blueprint path of the structure the player aims at.
void GetBpConsole(APlayerController* player, FString* command, bool flag);

}  // namespace cairnward
