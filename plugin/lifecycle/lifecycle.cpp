#include "lifecycle/lifecycle.h"

#include <optional>

#include "accounting/recount.h"
#include "api/ark_api.h"
#include "config/config.h"
#include "config/reload_commands.h"
#include "hooks/hooks.h"
#include "host/game.h"
#include "host/text.h"
#include "lifecycle/logger.h"
#include "messages/commands.h"
#include "messages/messages.h"

namespace cairnward {
namespace {

// The chat command's name as registered at load; a reload never renames it.
std::optional<FString>& ChatCommandName() {
  static std::optional<FString> name;
  return name;
}

void RegisterCommands(const FString& chat_name) {
  auto& commands = ArkApi::GetCommands();
  // The host takes no command without a name; the limits hold without it.
  if (chat_name.IsEmpty()) {
    Log().error("\"Messages\" -> \"ShowLimitsCmd\" is empty: no show-limits chat command");
  } else {
    if (HasBlank(chat_name.View())) {
      Log().warn("\"Messages\" -> \"ShowLimitsCmd\" \"{}\" holds a blank: no player can type it",
                 ToUtf8(chat_name.View()));
    }
    commands.AddChatCommand(chat_name, &ShowLimitsChat);
    ChatCommandName() = chat_name;
  }
  commands.AddRconCommand(FString(u"cairnward.reload"), &ReloadConfigRcon);
  commands.AddRconCommand(FString(u"UpdateStructures"), &UpdateStructuresRcon);
  commands.AddConsoleCommand(FString(u"cairnward.reload"), &ReloadConfigConsole);
  commands.AddConsoleCommand(FString(u"UpdateStructures"), &UpdateStructuresConsole);
  commands.AddConsoleCommand(FString(u"GetBp"), &GetBpConsole);
  commands.AddRconCommand(FString(u"cairnward.limits"), &TeamLimitsRcon);
  commands.AddConsoleCommand(FString(u"cairnward.limits"), &TeamLimitsConsole);
}

void RemoveCommands() {
  auto& commands = ArkApi::GetCommands();
  if (ChatCommandName()) {
    commands.RemoveChatCommand(*ChatCommandName());
    ChatCommandName().reset();
  }
  commands.RemoveRconCommand(FString(u"cairnward.reload"));
  commands.RemoveConsoleCommand(FString(u"cairnward.reload"));
  commands.RemoveRconCommand(FString(u"UpdateStructures"));
  commands.RemoveConsoleCommand(FString(u"UpdateStructures"));
  commands.RemoveConsoleCommand(FString(u"GetBp"));
  commands.RemoveRconCommand(FString(u"cairnward.limits"));
  commands.RemoveConsoleCommand(FString(u"cairnward.limits"));
}

}  // namespace

void Load() {
  ForgetGameAddresses();
  CreatePluginLogger();
  try {
    ReadConfig();
    if (ArkApi::GetApiUtils().GetStatus() == 1) {
      UpdateStructureCountAll();
    }
  } catch (const std::exception& e) {
    Log().error("{}", e.what());
    throw;
  }
  FString chat_name;
  try {
    chat_name = LookupMessage("ShowLimitsCmd");
  } catch (const std::exception& e) {
    // Without this line an administrator would see the load fail with no reason.
    Log().error("Can't read \"Messages\" -> \"ShowLimitsCmd\": {}", e.what());
    throw;
  }
  RegisterCommands(chat_name);
  InstallHooks();
}

void Unload() {
  RemoveCommands();
  RemoveHooks();
  ForgetGameAddresses();
}

}  // namespace cairnward
