#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "accounting/teams_over.h"
#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/command_argument.h"
#include "messages/command_guard.h"
#include "messages/commands.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

constexpr std::size_t kDefaultTeamsShown = 20;

constexpr std::u16string_view kOverUsage =
    u"Usage: cairnward.over [N], N the most teams to list (a whole number from 1 to "
    u"2147483647, 20 when left out)";

// N as the command gives it; none when it is no whole number of 1 or more.
std::optional<std::size_t> TeamsToShow(std::u16string_view argument) {
  if (argument.empty()) {
    return kDefaultTeamsShown;
  }
  const std::string digits = ToUtf8(argument);
  std::int32_t shown = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), shown);
  if (error != std::errc() || end != digits.data() + digits.size() || shown < 1) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(shown);
}

// The name of the limit at each position of a view, as show-limits names
// them: the blueprint's "Name" (its path when it has none), the group's
// "Name", "TotalName".
std::vector<std::u16string> LimitNames(const Json& root) {
  std::vector<std::u16string> names;
  names.reserve(ViewSize());
  names.push_back(MessageTextOr(root, "TotalName", u"Total"));
  for (const auto& [key, counts] : StructureLedger()) {
    const std::string path = ToUtf8(key.View());
    const std::string name = SettingOr<std::string>(root, settings::kName, path);
    names.push_back(FromUtf8(name.empty() ? path : name));
  }
  for (const GroupLimit& group : Limits().Groups()) {
    names.push_back(group.name);
  }
  return names;
}

// "5001: Wall 7/5, Total 160/150"
std::u16string TeamLine(const TeamOver& over, const std::vector<std::u16string>& names) {
  std::u16string line = AsciiWiden(fmt::format("{}:", over.team));
  const char16_t* separator = u" ";
  for (const LimitAbove& above : over.above) {
    line += separator;
    const std::u16string_view name = names[above.position];
    line += name.substr(0, name.find(u'\0'));
    line += AsciiWiden(fmt::format(" {}/{}", above.count, above.limit));
    separator = u", ";
  }
  return line;
}

std::u16string OverReply(const FString* command) {
  const auto shown = TeamsToShow(ArgumentOf(command));
  if (!shown) {
    return std::u16string(kOverUsage);
  }
  const std::vector<TeamOver> teams = TeamsOverLimits();
  if (teams.empty()) {
    return u"No team is over a limit";
  }
  const std::vector<std::u16string> names = LimitNames(PluginConfig());
  std::u16string reply;
  for (std::size_t i = 0; i < teams.size() && i < *shown; ++i) {
    if (i > 0) {
      reply += u'\n';
    }
    reply += TeamLine(teams[i], names);
    if (CutAtCap(reply)) {
      return reply;
    }
  }
  if (teams.size() > *shown) {
    reply += AsciiWiden(fmt::format("\n({} more teams over a limit)", teams.size() - *shown));
    CutAtCap(reply);
  }
  return reply;
}

}  // namespace

void OverConsole(APlayerController* player, FString* command, bool /*flag*/) {
  GuardConsoleCommand([&] { ReplyConsoleText(player, OverReply(command)); });
}

void OverRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  GuardRconCommand(connection, packet, [&] {
    ReplyRconText(connection, packet, OverReply(packet != nullptr ? &packet->Body : nullptr));
  });
}

}  // namespace cairnward
