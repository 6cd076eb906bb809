#include "cluster/cluster_admin.h"
#include "commands/command_argument.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "host/game.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

std::u16string ClusterReply(const FString* command) {
  return FromUtf8(ClusterCommandReply(ToUtf8(ArgumentOf(command))));
}

}  // namespace

void ClusterConsole(APlayerController* player, FString* command, bool /*flag*/) {
  GuardConsoleCommand([&] {
    PushChatMessageText(AsShooter(player), LookupMessage("Sender"), ClusterReply(command));
  });
}

void ClusterRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  GuardRconCommand(connection, packet, [&] {
    ReplyRconText(connection, packet, ClusterReply(packet != nullptr ? &packet->Body : nullptr));
  });
}

}  // namespace cairnward
