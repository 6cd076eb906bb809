#include "lifecycle/lifecycle.h"

#include <array>
#include <optional>
#include <string_view>

#include "api/ark_api.h"
#include "cluster/cluster_counts.h"
#include "commands/commands.h"
#include "commands/reload_commands.h"
#include "config/cluster_settings.h"
#include "config/config.h"
#include "counts/counts.h"
#include "hooks/hooks.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
#include "messages/messages.h"

namespace cairnward {
namespace {

// The console and RCON commands: registration and removal both read these
// tables, so a name can never be registered under one spelling and removed
// under another.
struct ConsoleCommand {
  std::u16string_view name;
  void (*handler)(APlayerController*, FString*, bool);
};
struct RconCommand {
  std::u16string_view name;
  void (*handler)(RCONClientConnection*, RCONPacket*, UWorld*);
};
constexpr std::array<RconCommand, 6> kRconCommands = {{
    {kReloadCommand, &ReloadConfigRcon},
    {kUpdateStructuresCommand, &UpdateStructuresRcon},
    {kTeamLimitsCommand, &TeamLimitsRcon},
    {kStatusCommand, &StatusRcon},
    {kOverCommand, &OverRcon},
    {kClusterCommand, &ClusterRcon},
}};
constexpr std::array<ConsoleCommand, 7> kConsoleCommands = {{
    {kReloadCommand, &ReloadConfigConsole},
    {kUpdateStructuresCommand, &UpdateStructuresConsole},
    {kGetBpCommand, &GetBpConsole},
    {kTeamLimitsCommand, &TeamLimitsConsole},
    {kStatusCommand, &StatusConsole},
    {kOverCommand, &OverConsole},
    {kClusterCommand, &ClusterConsole},
}};

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
  for (const RconCommand& command : kRconCommands) {
    commands.AddRconCommand(FString(command.name), command.handler);
  }
  for (const ConsoleCommand& command : kConsoleCommands) {
    commands.AddConsoleCommand(FString(command.name), command.handler);
  }
}

void RemoveCommands() {
  auto& commands = ArkApi::GetCommands();
  if (ChatCommandName()) {
    commands.RemoveChatCommand(*ChatCommandName());
    ChatCommandName().reset();
  }
  for (const RconCommand& command : kRconCommands) {
    commands.RemoveRconCommand(FString(command.name));
  }
  for (const ConsoleCommand& command : kConsoleCommands) {
    commands.RemoveConsoleCommand(FString(command.name));
  }
}

}  // namespace

void Load() {
  ForgetGameAddresses();
  CreatePluginLogger();
  try {
    ReadConfig();
    StartCluster(ParseClusterSettings(PluginConfig()));
    if (ArkApi::GetApiUtils().GetStatus() == 1) {
      NamingFailedMember([] { Recount(); });
    }
  } catch (const std::exception& e) {
    Log().error("{}", e.what());
    StopCluster();
    throw;
  }
  FString chat_name;
  try {
    chat_name = LookupMessage("ShowLimitsCmd");
  } catch (const std::exception& e) {
    // Without this line an administrator would see the load fail with no reason.
    Log().error("Can't read \"Messages\" -> \"ShowLimitsCmd\": {}", e.what());
    StopCluster();
    throw;
  }
  RegisterCommands(chat_name);
  InstallHooks();
}

void Unload() {
  RemoveCommands();
  RemoveHooks();
  StopCluster();
  ForgetGameAddresses();
}

}  // namespace cairnward
