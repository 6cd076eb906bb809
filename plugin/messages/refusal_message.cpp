#include "messages/refusal_message.h"

#include <string>

#include "accounting/ledger.h"
#include "config/config.h"
#include "config/debug_trace.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "messages/limit_name.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {

void NotifyPlacementRefused(AShooterPlayerController* player, const Refusal& refusal) {
  const Json& root = PluginConfig();
  if (FindMember(SettingObject(root, settings::kMessages), settings::kReachLimitMsg.name) ==
      nullptr) {
    NotifyByKey(settings::kReachLimit.name, player);
  } else {
    const NotificationLook look = KeyedNotificationLook(root);
    PushNotification(player, kRed, look.scale, look.display_time,
                     MessageText(root, settings::kReachLimitMsg.name),
                     LimitNameOrPathAt(root, refusal.position), refusal.count, refusal.limit);
  }
  // After the notification: a name that cannot be read must not cost the
  // player his message.
  if (DebugTraceOn()) {
    const std::u16string name = LimitNameOrPathAt(root, refusal.position);
    DebugTrace("| APrimalStructure_IsAllowedToBuild: [LimitCheck]: Refused by {}: {}/{}",
               Utf8Text{name}, refusal.count, refusal.limit);
  }
}

}  // namespace cairnward
