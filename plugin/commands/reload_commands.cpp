#include "commands/reload_commands.h"

#include <exception>
#include <string>
#include <utility>

#include "commands/command_guard.h"
#include "config/config.h"
#include "config/settings.h"
#include "counts/counts.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

// Counts the world by the document just read. A document that the world
// cannot be counted by does not stay in force: the one before it comes back,
// as the counts do, and the failure goes on to the caller.
void RecountOrRestore(LoadedConfig previous) {
  try {
    NamingFailedMember([] { Recount(); });
  } catch (...) {
    RestoreConfig(std::move(previous));
    throw;
  }
}

// After a reload: when "ShowLimitsCmd" now names another command than the
// one registered, that the new name waits for the next load. Empty when it
// names the same, or cannot be read (the next load says why).
std::string ChatCommandNote() {
  std::u16string now;
  try {
    now = MessageText(PluginConfig(), settings::kShowLimitsCmd.name);
  } catch (const std::exception&) {
    return {};
  }
  const std::u16string_view registered =
      ChatCommandName() ? ChatCommandName()->View() : std::u16string_view();
  if (now == registered) {
    return {};
  }
  return fmt::format(
      "\"Messages\" -> \"ShowLimitsCmd\" is now \"{}\": the new name takes effect at the next "
      "load; until then the chat command is \"{}\"",
      ToUtf8(now), ToUtf8(registered));
}

}  // namespace

std::optional<FString>& ChatCommandName() {
  static std::optional<FString> name;
  return name;
}

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
    if (const std::string note = ChatCommandNote(); !note.empty()) {
      PushServerMessageText(AsShooter(player), kGreen, note);
      Log().warn("{}", note);
    }
  });
}

void ReloadConfigRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  // A failed read and a failed recount both end up as the error's text in
  // the log and in the reply; only the recount needs the guard to get there.
  GuardRconCommand(connection, packet, [&] {
    RecountOrRestore(ReplaceConfig());
    const std::string note = ChatCommandNote();
    ReplyRcon(connection, packet, note.empty() ? "Reloaded config" : "Reloaded config\n" + note);
    Log().info("Reloaded Config");
    if (!note.empty()) {
      Log().warn("{}", note);
    }
  });
}

}  // namespace cairnward
