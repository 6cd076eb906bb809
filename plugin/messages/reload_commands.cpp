#include "messages/reload_commands.h"

#include <exception>
#include <utility>

#include "config/config.h"
#include "counts/counts.h"
#include "host/game.h"
#include "host/logger.h"
#include "messages/command_guard.h"
#include "messages/push.h"

namespace cairnward {
namespace {

// Counts the world by the document just read. A document that the world
// cannot be counted by does not stay in force: the one before it comes back,
// as the counts do, and the failure goes on to the caller.
void RecountOrRestore(LoadedConfig previous) {
  try {
    Recount();
  } catch (...) {
    RestoreConfig(std::move(previous));
    throw;
  }
}

}  // namespace

void ReloadConfigConsole(APlayerController* player, FString* /*command*/, bool /*flag*/) {
  GuardConsoleCommand([&] {
    // A file that cannot be read and one the world cannot be counted by both
    // leave the previous configuration in force; the administrator is told.
    try {
      RecountOrRestore(ReplaceConfig());
    } catch (const std::exception& e) {
      PushServerMessageText(AsShooter(player), kRed, "Failed to reload config");
      Log().error("{}", e.what());
      return;
    }
    PushServerMessageText(AsShooter(player), kGreen, "Reloaded config");
    Log().info("Reloaded Config");
  });
}

void ReloadConfigRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  // A failed read and a failed recount both end up as the error's text in
  // the log and in the reply; only the recount needs the guard to get there.
  GuardRconCommand(connection, packet, [&] {
    RecountOrRestore(ReplaceConfig());
    ReplyRcon(connection, packet, "Reloaded config");
    Log().info("Reloaded Config");
  });
}

}  // namespace cairnward
