#pragma once

#include <string>
#include <vector>

#include "accounting/direct_story.h"
#include "api/rcon_packet.h"
#include "config/reload_commands.h"
#include "lifecycle/logger.h"
#include "messages/commands.h"
#include "standin/server.h"

namespace cairnward::testing {

// A story in which players and administrators issue the plug-in's commands;
// each helper calls the handler the way the host's dispatch does.
class CommandStory : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    CreatePluginLogger();
    Recount();
  }

  void AskForLimits(standin::SimPlayerController* player) {
    FString line(u"/limits");
    ShowLimitsChat(AsPlayer(player), &line, false);
  }

  using ConsoleHandler = void (*)(APlayerController*, FString*, bool);
  void Console(ConsoleHandler handler, standin::SimPlayerController* player,
               const std::u16string& text) {
    FString line(text);
    handler(AsPlayer(player), &line, false);
  }

  // The replies to one RCON request with the given id.
  using RconHandler = void (*)(RCONClientConnection*, RCONPacket*, UWorld*);
  std::vector<standin::RconReply> Rcon(RconHandler handler, const std::u16string& text,
                                       std::int32_t id = 7) {
    RCONPacket packet;
    packet.Id = id;
    packet.Type = 2;
    packet.Body = FString(text);
    const std::size_t before = server().RconReplies().size();
    handler(standin::AsGame<RCONClientConnection>(world().MakeRconConnection()), &packet,
            standin::AsGame<UWorld>(world().GameWorld()));
    const auto& replies = server().RconReplies();
    return {replies.begin() + static_cast<std::ptrdiff_t>(before), replies.end()};
  }

  // RCON replies are ASCII; this makes them readable to the string matchers.
  static std::string Narrow(const std::u16string& text) { return {text.begin(), text.end()}; }

  std::vector<std::string> Warnings() const { return PluginLogLines(spdlog::level::warn); }
  std::vector<std::string> Errors() const { return PluginLogLines(spdlog::level::err); }
  std::vector<std::string> Infos() const { return PluginLogLines(spdlog::level::info); }
};

}  // namespace cairnward::testing
