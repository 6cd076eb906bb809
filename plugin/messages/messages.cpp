#include "messages/messages.h"

#include "config/config.h"
#include "host/text.h"
#include "messages/push.h"

namespace cairnward {

FString LookupMessage(std::string_view key) {
  const Json& messages = Required(PluginConfig(), "Messages");
  return FStringUpToNul(FromUtf8(ValueOr(messages, key, "No message")));
}

void NotifyByKey(std::string_view key, AShooterPlayerController* player) {
  const Json& general = Required(PluginConfig(), "General");
  const auto scale = RequiredValue<float>(general, "NotificationScale");
  const auto display_time = RequiredValue<float>(general, "NotificationDisplayTime");
  const FString text = LookupMessage(key);
  PushNotification(player, kRed, scale, display_time, text.View());
}

}  // namespace cairnward
