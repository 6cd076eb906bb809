#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "accounting/teams_over.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "config/config.h"
#include "counts/counts.h"
#include "host/clock_text.h"
#include "host/text.h"
#include "messages/push.h"

namespace cairnward {
namespace {

std::string CountsLine() {
  std::int64_t teams = 0;
  std::int64_t structures = 0;
  // Asking for a team's limits makes a zero total for it: no team is counted by that.
  for (const auto& [team, total] : TeamTotals()) {
    if (total > 0) {
      ++teams;
      structures += total;
    }
  }
  return fmt::format("Counts: {} teams, {} structures; teams over a limit: {}", teams, structures,
                     TeamsOverLimits().size());
}

std::string RecountLine() {
  const auto& last = LastRecount();
  if (!last) {
    return "Last recount: none yet";
  }
  return fmt::format("Last recount: {}, took {}", UtcTimeText(last->started),
                     DurationText(last->took));
}

std::u16string StatusReply() {
  std::vector<std::string> lines{
      fmt::format("Config: {}, loaded {}", ConfigPath(), UtcTimeText(ConfigLoadedAt())),
      CountsLine(), RecountLine()};
  std::vector<std::string> cluster = CountsStatusLines();
  if (cluster.empty()) {
    cluster.emplace_back("Cluster: not configured");
  }
  lines.insert(lines.end(), cluster.begin(), cluster.end());
  std::u16string reply = FromUtf8(fmt::format("{}", fmt::join(lines, "\n")));
  CutAtCap(reply);
  return reply;
}

}  // namespace

void StatusConsole(APlayerController* player, FString* /*command*/, bool /*flag*/) {
  GuardConsoleCommand([&] { ReplyConsoleText(player, StatusReply()); });
}

void StatusRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  GuardRconCommand(connection, packet, [&] { ReplyRconText(connection, packet, StatusReply()); });
}

}  // namespace cairnward
