#pragma once

#include <string>
#include <vector>

#include "api/ark_api.h"

namespace standin {

// Chat, console and RCON commands by name. A line is dispatched on its first
// word, compared without regard to case; the whole line goes to the handler.
class CommandRegistry : public ArkApi::ICommands {
 public:
  void AddChatCommand(const FString& command, const ArkApi::ChatCommandFn& callback) override;
  void AddConsoleCommand(const FString& command, const ArkApi::ConsoleCommandFn& callback) override;
  void AddRconCommand(const FString& command, const ArkApi::RconCommandFn& callback) override;

  bool RemoveChatCommand(const FString& command) override;
  bool RemoveConsoleCommand(const FString& command) override;
  bool RemoveRconCommand(const FString& command) override;

  // Each answers whether a registered command took the line.
  bool DispatchChat(AShooterPlayerController* player, const std::u16string& line,
                    EChatSendMode::Type mode) const;
  bool DispatchConsole(APlayerController* player, const std::u16string& line) const;
  bool DispatchRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) const;

  [[nodiscard]] std::vector<std::u16string> ChatNames() const;
  [[nodiscard]] std::vector<std::u16string> ConsoleNames() const;
  [[nodiscard]] std::vector<std::u16string> RconNames() const;
  [[nodiscard]] std::size_t Count() const;
  void Clear();

 private:
  template <typename Fn>
  struct Entry {
    std::u16string name;
    Fn callback;
  };

  std::vector<Entry<ArkApi::ChatCommandFn>> chat_;
  std::vector<Entry<ArkApi::ConsoleCommandFn>> console_;
  std::vector<Entry<ArkApi::RconCommandFn>> rcon_;
};

// The first word of a command line: up to the first space.
std::u16string FirstWord(const std::u16string& line);
bool SameWordIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace standin
