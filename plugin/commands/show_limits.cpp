#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/team_view.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "commands/limits_body.h"
#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "counts/counts.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
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

Display ReadDisplay(const Json& root) {
  Display display;
  display.type = RequiredSetting<std::string>(root, settings::kShowLimitsType);
  // Read in this order, so that the first bad one is the one reported.
  display.color.R = RequiredSetting<float>(root, settings::kRed);
  display.color.G = RequiredSetting<float>(root, settings::kGreen);
  display.color.B = RequiredSetting<float>(root, settings::kBlue);
  display.color.A = 1.0F;
  display.scale = RequiredSetting<float>(root, settings::kShowLimitsScale);
  display.display_time = RequiredSetting<float>(root, settings::kShowLimitsDisplayTime);
  return display;
}

void ShowLimits(AShooterPlayerController* player) {
  const std::int32_t team = Field<game::kTargetingTeam>(player);
  // Asking makes a zero total for a team that has none yet.
  (void)TeamTotals()[team];
  const Json& root = PluginConfig();
  const Display display = ReadDisplay(root);
  const std::u16string body = TeamLimitsBody(root, team);

  if (display.type == "Notification") {
    const auto heading_scale = static_cast<float>(static_cast<double>(display.scale) * 2.0);
    PushNotification(player, display.color, heading_scale, display.display_time,
                     MessageText(root, "Sender"));
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
