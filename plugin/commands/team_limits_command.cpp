#include <optional>
#include <string>
#include <string_view>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "commands/command_argument.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "commands/limits_body.h"
#include "config/config.h"
#include "config/team_id.h"
#include "host/game.h"
#include "host/text.h"

namespace cairnward {
namespace {

// The team of the connected player of that name.
std::optional<std::int32_t> TeamOfPlayer(std::u16string_view name) {
  AShooterPlayerController* player =
      ArkApi::GetApiUtils().FindPlayerFromName(FString(std::u16string(name)));
  if (player == nullptr) {
    return std::nullopt;
  }
  return Field<game::kTargetingTeam>(player);
}

// The reply to the command: the team's limits, or why there is none. A
// number is read as a team id first, then as a player's name.
std::u16string TeamLimitsReply(const FString* command) {
  const std::u16string_view argument = ArgumentOf(command);
  if (argument.empty()) {
    return u"Usage: cairnward.limits <team id or player name>";
  }
  const TeamIdText number = ReadTeamId(ToUtf8(argument));
  if (number.id) {
    return TeamLimitsBody(PluginConfig(), *number.id);
  }
  if (const auto team = TeamOfPlayer(argument)) {
    return TeamLimitsBody(PluginConfig(), *team);
  }
  std::u16string reply = u"No player or team \"" + std::u16string(argument) + u"\"";
  if (number.beyond_32_bits) {
    reply += u": " + std::u16string(argument) +
             u" is out of range for a team id (a whole number from -2147483648 to 2147483647)";
  }
  return reply;
}

}  // namespace

void TeamLimitsConsole(APlayerController* player, FString* command, bool /*flag*/) {
  GuardConsoleCommand([&] { ReplyConsoleText(player, TeamLimitsReply(command)); });
}

void TeamLimitsRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  GuardRconCommand(connection, packet, [&] {
    ReplyRconText(connection, packet, TeamLimitsReply(packet != nullptr ? &packet->Body : nullptr));
  });
}

}  // namespace cairnward
