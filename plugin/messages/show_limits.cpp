#include <cstdint>
#include <string>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "config/config.h"
#include "host/game.h"
#include "host/text.h"
#include "lifecycle/logger.h"
#include "messages/command_guard.h"
#include "messages/commands.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

struct Display {
  std::string type;
  FLinearColor color;
  float scale = 0.0F;
  float display_time = 0.0F;
};

Display ReadDisplay() {
  const Json& messages = Required(PluginConfig(), "Messages");
  Display display;
  display.type = RequiredValue<std::string>(messages, "ShowLimitsType");
  const Json& color = Required(messages, "NotificationColor");
  // Read in this order, so that the first bad one is the one reported.
  display.color.R = RequiredValue<float>(color, "Red");
  display.color.G = RequiredValue<float>(color, "Green");
  display.color.B = RequiredValue<float>(color, "Blue");
  display.color.A = 1.0F;
  display.scale = RequiredValue<float>(messages, "ShowLimitsScale");
  display.display_time = RequiredValue<float>(messages, "ShowLimitsDisplayTime");
  return display;
}

// One line per ledger entry, whether or not the team owns any, then the
// total. Only the templates are formatted; names are arguments.
std::u16string LimitsBody(std::int32_t team, std::int32_t total, std::int32_t maximum) {
  std::u16string body;
  for (const auto& [path, counts] : StructureLedger()) {
    const auto owned = counts.find(team);
    const std::int32_t count = owned != counts.end() ? owned->second : 0;
    const Json& structures = Required(PluginConfig(), "Structures");
    const Json& settings = MemberOrEmpty(structures, ToUtf8(path.View()));
    const auto limit = ValueOr<std::int32_t>(settings, "Count", 9999);
    const std::u16string name = FromUtf8(ValueOr(settings, "Name", ""));
    body += FormatWide(LookupMessage("ShowLimitMsg").View(), name, count, limit);
  }
  body += FormatWide(LookupMessage("TotalLimitMsg").View(), total, maximum);
  return body;
}

void ShowLimits(AShooterPlayerController* player) {
  const std::int32_t team = Field<game::kTargetingTeam>(player);
  // Asking makes a zero total for a team that has none yet.
  const std::int32_t total = TeamTotals()[team];
  const auto maximum =
      RequiredValue<std::int32_t>(Required(PluginConfig(), "General"), "MaxAmount");
  const Display display = ReadDisplay();
  const std::u16string body = LimitsBody(team, total, maximum);

  if (display.type == "Notification") {
    const auto heading_scale = static_cast<float>(static_cast<double>(display.scale) * 2.0);
    PushNotification(player, display.color, heading_scale, display.display_time,
                     LookupMessage("Sender").View());
    PushNotificationText(player, display.color, display.scale, display.display_time, body);
  } else if (display.type == "Chat") {
    PushChatMessageText(player, LookupMessage("Sender"), body);
  }
}

}  // namespace

void ShowLimitsChat(AShooterPlayerController* player, FString* /*message*/, bool /*mode*/) {
  GuardCommand(
      [&] {
        if (!ArkApi::GetApiUtils().IsPlayerDead(player)) {
          ShowLimits(player);
        }
      },
      [](std::string_view what) { Log().warn("{}", what); });
}

}  // namespace cairnward
