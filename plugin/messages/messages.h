#pragma once

#include <string>
#include <string_view>

#include "api/fstring.h"
#include "api/game_types.h"
#include "config/json_access.h"

namespace cairnward {

// The text under "Messages" -> key in `root`, decoded and cut at its first
// NUL, or "No message" when the key is absent.
std::u16string MessageText(const Json& root, std::string_view key);

// The same, with `fallback` in place of an absent key.
std::u16string MessageTextOr(const Json& root, std::string_view key, std::u16string_view fallback);

// The same from the configuration in force, as the game's string.
FString LookupMessage(std::string_view key);

// The scale and display time of keyed notifications, from "General".
struct NotificationLook {
  float scale = 0.0F;
  float display_time = 0.0F;
};
NotificationLook KeyedNotificationLook(const Json& root);

// The key's text as a red notification, with the scale and display time of
// "General". The text is a template formatted once with no arguments, so "{{"
// shows "{" and "{}" fails. A null player is sent nothing.
void NotifyByKey(std::string_view key, AShooterPlayerController* player);

}  // namespace cairnward
