#include "commands/command_guard.h"

#include <stdexcept>

#include "api/game_members.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {

void ReplyRcon(RCONClientConnection* connection, const RCONPacket* packet, std::string_view text) {
  ReplyRconText(connection, packet, AsciiWiden(text));
}

void ReplyRconText(RCONClientConnection* connection, const RCONPacket* packet,
                   std::u16string_view text) {
  if (connection == nullptr || packet == nullptr) {
    throw std::invalid_argument("RCON request without a connection or a packet");
  }
  FString body = FStringUpToNul(text);
  CallGame<game::kRconSendMessage>(connection, packet->Id, 0, &body);
}

void ReplyConsoleText(APlayerController* player, std::u16string_view text) {
  PushChatMessageText(AsShooter(player), LookupMessage("Sender"), text);
}

void ReportConsoleFailure(std::string_view what) noexcept {
  Log().error("{}", what);
}

void ReportRconFailure(RCONClientConnection* connection, const RCONPacket* packet,
                       std::string_view what) noexcept {
  Log().error("{}", what);
  try {
    ReplyRcon(connection, packet, what);
  } catch (const std::exception& e) {
    Log().error("Can't answer the RCON client: {}", e.what());
  }
}

}  // namespace cairnward
