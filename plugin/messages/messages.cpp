#include "messages/messages.h"

#include <algorithm>

#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/push.h"

namespace cairnward {

std::u16string MessageText(const Json& root, std::string_view key) {
  // kNoMessage, without making it anew for every message.
  static const std::u16string no_message = AsciiWiden(kNoMessage);
  return MessageTextOr(root, key, no_message);
}

std::u16string MessageTextOr(const Json& root, std::string_view key, std::u16string_view fallback) {
  const Json* member = FindMember(SettingObject(root, settings::kMessages), key);
  std::u16string text =
      member != nullptr ? FromUtf8(Read<std::string>(*member)) : std::u16string(fallback);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return text;
}

FString LookupMessage(std::string_view key) {
  return FString(MessageText(PluginConfig(), key));
}

NotificationLook KeyedNotificationLook(const Json& root) {
  NotificationLook look;
  look.scale = RequiredSetting<float>(root, settings::kNotificationScale);
  look.display_time = RequiredSetting<float>(root, settings::kNotificationDisplayTime);
  return look;
}

void NotifyByKey(std::string_view key, AShooterPlayerController* player) {
  const NotificationLook look = KeyedNotificationLook(PluginConfig());
  const FString text = LookupMessage(key);
  PushNotification(player, kRed, look.scale, look.display_time, text.View());
}

}  // namespace cairnward
