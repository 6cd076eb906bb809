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
#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "counts/counts.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
#include "messages/command_guard.h"
#include "messages/commands.h"
#include "messages/limits_body.h"
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

// A NUL ends a name, not the whole reply.
std::u16string_view UpToNul(std::u16string_view name) {
  return name.substr(0, name.find(u'\0'));
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

std::int32_t ShownMaxAmount(const Json& root, std::int32_t team) {
  const TeamLimits* own = Limits().LimitsOf(team);
  return own != nullptr && own->max_amount
             ? *own->max_amount
             : RequiredSetting<std::int32_t>(root, settings::kMaxAmount);
}

// Only the templates are formatted; names are arguments. Formatting stops
// once the reply is too long to send whole.
std::u16string LimitsBody(const Json& root, std::int32_t team, const TeamView& counts,
                          const TeamView& here, std::int32_t maximum) {
  std::u16string body;
  const std::u16string blueprint_line = MessageText(root, "ShowLimitMsg");
  const Ledger& ledger = StructureLedger();
  std::size_t index = 0;
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry, ++index) {
    const std::u16string_view path = entry->first.View();
    const std::int32_t limit = BlueprintLimitOf(entry, path, team);
    const std::u16string name =
        FromUtf8(SettingOr<std::string>(root, settings::kName, ToUtf8(path)));
    body += FormatWide(blueprint_line, UpToNul(name), counts.Blueprint(index), limit,
                       here.Blueprint(index));
    if (CutAtCap(body)) {
      return body;
    }
  }
  const LimitPlan& plan = Limits();
  const std::u16string group_line = MessageTextOr(root, "ShowGroupMsg", blueprint_line);
  for (std::size_t group = 0; group < plan.Groups().size(); ++group) {
    body += FormatWide(group_line, UpToNul(plan.Groups()[group].name), counts.Group(group),
                       plan.GroupLimitOf(group, team), here.Group(group));
    if (CutAtCap(body)) {
      return body;
    }
  }
  body += FormatWide(MessageText(root, "TotalLimitMsg"), counts.Total(), maximum, here.Total());
  CutAtCap(body);
  return body;
}

std::u16string TeamLimitsBody(const Json& root, std::int32_t team) {
  const CountsStanding standing = TeamStanding(team);
  std::u16string body =
      LimitsBody(root, team, standing.counts, standing.here, ShownMaxAmount(root, team));
  if (standing.scope == CountsScope::kThisServerOnly) {
    // Without it a reader would take this server's numbers for the cluster's.
    AddThisServerOnlyLine(body);
  }
  return body;
}

void AddThisServerOnlyLine(std::u16string& body) {
  if (!body.empty() && body.back() != u'\n') {
    body += u'\n';
  }
  body += kThisServerOnlyLine;
}

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
