#include "config/reload_commands.h"

#include <exception>

#include "accounting/recount.h"
#include "config/config.h"
#include "host/game.h"
#include "lifecycle/logger.h"
#include "messages/command_guard.h"
#include "messages/push.h"

namespace cairnward {

void ReloadConfigConsole(APlayerController* player, FString* /*command*/, bool /*flag*/) {
  GuardConsoleCommand([&] {
    try {
      ReadConfig();
    } catch (const std::exception& e) {
      PushServerMessageText(AsShooter(player), kRed, "Failed to reload config");
      Log().error("{}", e.what());
      return;
    }
    UpdateStructureCountAll();
    PushServerMessageText(AsShooter(player), kGreen, "Reloaded config");
    Log().info("Reloaded Config");
  });
}

void ReloadConfigRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  // A failed read and a failed recount both end up as the error's text in
  // the log and in the reply; only the recount needs the guard to get there.
  GuardRconCommand(connection, packet, [&] {
    ReadConfig();
    UpdateStructureCountAll();
    ReplyRcon(connection, packet, "Reloaded config");
    Log().info("Reloaded Config");
  });
}

}  // namespace cairnward
