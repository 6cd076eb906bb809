#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "config/config.h"
#include "host/game.h"
#include "host/text.h"
#include "messages/command_argument.h"
#include "messages/command_guard.h"
#include "messages/commands.h"
#include "messages/limits_body.h"

namespace cairnward {
namespace {

std::optional<std::int32_t> TeamIdOf(std::u16string_view argument) {
  const std::string digits = ToUtf8(argument);
  std::int32_t id = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return id;
}

// A team id as it stands, else the team of the connected player of that name.
std::optional<std::int32_t> TeamNamedBy(std::u16string_view argument) {
  if (const auto id = TeamIdOf(argument)) {
    return id;
  }
  if (argument.empty()) {
    return std::nullopt;
  }
  AShooterPlayerController* player =
      ArkApi::GetApiUtils().FindPlayerFromName(FString(std::u16string(argument)));
  if (player == nullptr) {
    return std::nullopt;
  }
  return Field<game::kTargetingTeam>(player);
}

// The reply to the command: the team's limits, or why there is none.
std::u16string TeamLimitsReply(const FString* command) {
  const std::u16string_view argument = ArgumentOf(command);
  const auto team = TeamNamedBy(argument);
  if (!team) {
    return u"No player or team \"" + std::u16string(argument) + u"\"";
  }
  return TeamLimitsBody(PluginConfig(), *team);
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
