#include "messages/messages.h"

#include <algorithm>

#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/push.h"

namespace cairnward {

std::u16string MessageText(const Json& root, std::string_view key) {
  const Json& messages = SettingObject(root, settings::kMessages);
  std::u16string text = FromUtf8(ValueOr(messages, key, std::string(kNoMessage)));
  text.resize(std::min(text.size(), text.find(u'\0')));
  return text;
}

FString LookupMessage(std::string_view key) {
  return FString(MessageText(PluginConfig(), key));
}

void NotifyByKey(std::string_view key, AShooterPlayerController* player) {
  const Json& root = PluginConfig();
  const auto scale = RequiredSetting<float>(root, settings::kNotificationScale);
  const auto display_time = RequiredSetting<float>(root, settings::kNotificationDisplayTime);
  const FString text = LookupMessage(key);
  PushNotification(player, kRed, scale, display_time, text.View());
}

}  // namespace cairnward
