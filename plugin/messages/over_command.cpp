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

// The names of the limits at the positions of a view: the blueprint's
// "Name" (its path when it has none, so that no line names nothing), the
// group's "Name", "TotalName". Each is read when a line first needs it, so that a
// bad "Name" fails only the replies that show it.
class LimitNames {
 public:
  explicit LimitNames(const Json& root) : root_(root), names_(ViewSize()) {
    for (const auto& [key, counts] : StructureLedger()) {
      keys_.push_back(&key);
    }
  }

  std::u16string_view operator[](std::uint32_t position) {
    std::optional<std::u16string>& name = names_.at(position);
    if (!name) {
      name = Read(position);
    }
    return std::u16string_view(*name).substr(0, name->find(u'\0'));
  }

 private:
  std::u16string Read(std::uint32_t position) const {
    if (position == 0) {
      return MessageTextOr(root_, "TotalName", u"Total");
    }
    if (position <= keys_.size()) {
      const std::string path = ToUtf8(keys_[position - 1]->View());
      const std::string name = SettingOr<std::string>(root_, settings::kName, path);
      return FromUtf8(name.empty() ? path : name);
    }
    return Limits().Groups().at(position - 1 - keys_.size()).name;
  }

  const Json& root_;
  std::vector<const FString*> keys_;  // in ledger order
  std::vector<std::optional<std::u16string>> names_;
};

// "5001: Wall 7/5, Total 160/150"
std::u16string TeamLine(const TeamOver& over, LimitNames& names) {
  std::u16string line = AsciiWiden(fmt::format("{}:", over.team));
  const char16_t* separator = u" ";
  for (const LimitAbove& above : over.above) {
    line += separator;
    line += names[above.position];
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
  LimitNames names(PluginConfig());
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
