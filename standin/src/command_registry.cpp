#include "standin/command_registry.h"

#include <algorithm>

#include "standin/strict.h"

namespace standin {
namespace {

char16_t Lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

template <typename List>
auto FindByName(List& list, std::u16string_view name) {
  return std::find_if(list.begin(), list.end(),
                      [&](const auto& e) { return SameWordIgnoringCase(e.name, name); });
}

template <typename List, typename Fn>
void Add(List& list, const FString& command, const Fn& callback, const char* kind) {
  if (command.IsEmpty() || !callback) {
    Violation(std::string("Add") + kind + "Command: empty name or handler");
  }
  if (FindByName(list, command.View()) != list.end()) {
    Violation(std::string("Add") + kind + "Command: \"" +
              ArkApi::Tools::Utf8Encode(std::u16string(command.View())) +
              "\" is registered already");
  }
  list.push_back({std::u16string(command.View()), callback});
}

template <typename List>
bool Remove(List& list, const FString& command) {
  const auto it = FindByName(list, command.View());
  if (it == list.end()) {
    return false;
  }
  list.erase(it);
  return true;
}

template <typename List>
std::vector<std::u16string> Names(const List& list) {
  std::vector<std::u16string> names;
  for (const auto& e : list) {
    names.push_back(e.name);
  }
  return names;
}

}  // namespace

std::u16string FirstWord(const std::u16string& line) {
  return line.substr(0, line.find(u' '));
}

bool SameWordIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return Lower(x) == Lower(y); });
}

void CommandRegistry::AddChatCommand(const FString& command,
                                     const ArkApi::ChatCommandFn& callback) {
  Add(chat_, command, callback, "Chat");
}

void CommandRegistry::AddConsoleCommand(const FString& command,
                                        const ArkApi::ConsoleCommandFn& callback) {
  Add(console_, command, callback, "Console");
}

void CommandRegistry::AddRconCommand(const FString& command,
                                     const ArkApi::RconCommandFn& callback) {
  Add(rcon_, command, callback, "Rcon");
}

bool CommandRegistry::RemoveChatCommand(const FString& command) {
  return Remove(chat_, command);
}
bool CommandRegistry::RemoveConsoleCommand(const FString& command) {
  return Remove(console_, command);
}
bool CommandRegistry::RemoveRconCommand(const FString& command) {
  return Remove(rcon_, command);
}

bool CommandRegistry::DispatchChat(AShooterPlayerController* player, const std::u16string& line,
                                   EChatSendMode::Type mode) const {
  const auto it = FindByName(chat_, FirstWord(line));
  if (it == chat_.end()) {
    return false;
  }
  FString text(line);
  // Copied first: a handler may change the registrations while it runs.
  const ArkApi::ChatCommandFn callback = it->callback;
  callback(player, &text, mode);
  return true;
}

bool CommandRegistry::DispatchConsole(APlayerController* player, const std::u16string& line) const {
  const auto it = FindByName(console_, FirstWord(line));
  if (it == console_.end()) {
    return false;
  }
  FString text(line);
  const ArkApi::ConsoleCommandFn callback = it->callback;
  callback(player, &text, false);
  return true;
}

bool CommandRegistry::DispatchRcon(RCONClientConnection* connection, RCONPacket* packet,
                                   UWorld* world) const {
  const auto it = FindByName(rcon_, FirstWord(std::u16string(packet->Body.View())));
  if (it == rcon_.end()) {
    return false;
  }
  const ArkApi::RconCommandFn callback = it->callback;
  callback(connection, packet, world);
  return true;
}

std::vector<std::u16string> CommandRegistry::ChatNames() const {
  return Names(chat_);
}
std::vector<std::u16string> CommandRegistry::ConsoleNames() const {
  return Names(console_);
}
std::vector<std::u16string> CommandRegistry::RconNames() const {
  return Names(rcon_);
}

std::size_t CommandRegistry::Count() const {
  return chat_.size() + console_.size() + rcon_.size();
}

void CommandRegistry::Clear() {
  chat_.clear();
  console_.clear();
  rcon_.clear();
}

}  // namespace standin
