#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "accounting/teams_over.h"
#include "commands/command_argument.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "commands/limits_body.h"
#include "config/config.h"
#include "counts/counts.h"
#include "host/text.h"
#include "messages/limit_name.h"
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
  explicit LimitNames(const Json& root) : root_(root), names_(ViewSize()) {}

  std::u16string_view operator[](std::uint32_t position) {
    std::optional<std::u16string>& name = names_.at(position);
    if (!name) {
      name = LimitNameOrPathAt(root_, position);
    }
    return UpToNul(*name);
  }

 private:
  const Json& root_;
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

// At most `shown` of the teams, one line each, then how many more there
// are; cut at `cap`.
std::u16string Listing(const std::vector<TeamOver>& teams, std::size_t shown, std::size_t cap) {
  if (teams.empty()) {
    return u"No team is over a limit";
  }
  LimitNames names(PluginConfig());
  std::u16string reply;
  for (std::size_t i = 0; i < teams.size() && i < shown; ++i) {
    if (i > 0) {
      reply += u'\n';
    }
    reply += TeamLine(teams[i], names);
    if (CutAtCap(reply, cap)) {
      return reply;
    }
  }
  if (teams.size() > shown) {
    reply += AsciiWiden(fmt::format("\n({} more teams over a limit)", teams.size() - shown));
    CutAtCap(reply, cap);
  }
  return reply;
}

std::u16string OverReply(const FString* command) {
  const auto shown = TeamsToShow(ArgumentOf(command));
  if (!shown) {
    return std::u16string(kOverUsage);
  }
  const TeamsOverStanding standing = TeamsOver();
  if (standing.scope != CountsScope::kThisServerOnly) {
    return Listing(standing.teams, *shown, kMaxReplyLength);
  }
  // The line stays whatever the cap cuts: without it a reader would take
  // this server's numbers for the cluster's.
  std::u16string reply =
      Listing(standing.teams, *shown, kMaxReplyLength - kThisServerOnlyLine.size() - 1);
  AddThisServerOnlyLine(reply);
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
