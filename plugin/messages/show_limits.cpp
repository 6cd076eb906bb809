#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "accounting/ledger.h"
#include "api/ark_api.h"
#include "api/game_members.h"
#include "config/config.h"
#include "config/settings.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
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

// Whether the reply passed kMaxReplyLength; if so it is cut there, with "…"
// as its last character, and never between the halves of a surrogate pair.
bool CutAtCap(std::u16string& body) {
  if (body.size() <= kMaxReplyLength) {
    return false;
  }
  body.resize(kMaxReplyLength - 1);
  if (body.back() >= 0xD800 && body.back() <= 0xDBFF) {
    body.pop_back();
  }
  body += u'\u2026';
  return true;
}

// One line per ledger entry, whether or not the team owns any, then the
// total. Only the templates are formatted; names are arguments. Formatting
// stops once the reply is too long to send whole.
std::u16string LimitsBody(const Json& root, std::int32_t team, std::int32_t total,
                          std::int32_t maximum) {
  std::u16string body;
  for (const auto& [path, counts] : StructureLedger()) {
    const auto owned = counts.find(team);
    const std::int32_t count = owned != counts.end() ? owned->second : 0;
    const std::string member = ToUtf8(path.View());
    const auto limit = SettingOr<std::int32_t>(root, settings::kCount, member);
    const std::u16string name = FromUtf8(SettingOr<std::string>(root, settings::kName, member));
    // A NUL ends the name, not the whole reply.
    const std::u16string_view shown = std::u16string_view(name).substr(0, name.find(u'\0'));
    body += FormatWide(MessageText(root, "ShowLimitMsg"), shown, count, limit);
    if (CutAtCap(body)) {
      return body;
    }
  }
  body += FormatWide(MessageText(root, "TotalLimitMsg"), total, maximum);
  CutAtCap(body);
  return body;
}

void ShowLimits(AShooterPlayerController* player) {
  const std::int32_t team = Field<game::kTargetingTeam>(player);
  // Asking makes a zero total for a team that has none yet.
  const std::int32_t total = TeamTotals()[team];
  const Json& root = PluginConfig();
  const auto maximum = RequiredSetting<std::int32_t>(root, settings::kMaxAmount);
  const Display display = ReadDisplay(root);
  const std::u16string body = LimitsBody(root, team, total, maximum);

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
