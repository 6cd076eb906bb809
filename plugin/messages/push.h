#pragma once

#include <string>
#include <string_view>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include "api/fstring.h"
#include "api/game_types.h"
#include "api/math_types.h"
#include "messages/messages.h"  // NotifyByKey, the keyed form

namespace cairnward {

inline constexpr FLinearColor kRed{1.0F, 0.0F, 0.0F, 1.0F};
inline constexpr FLinearColor kGreen{0.0F, 1.0F, 0.0F, 1.0F};

// Formats a wide template once. Fails with fmt's format_error when the
// template asks for an argument it is not given or has an unpaired brace.
template <typename... Args>
std::u16string FormatWide(std::u16string_view format, const Args&... args) {
  return fmt::vformat(fmt::basic_string_view<char16_t>(format.data(), format.size()),
                      fmt::make_format_args<fmt::buffer_context<char16_t>>(args...));
}

// The three ways of reaching a player, for text that goes out as it is:
// display names, paths, finished bodies. Nothing here is read as a template.
// A null player is sent nothing; the text ends at its first NUL.

// An on-screen notification.
void PushNotificationText(AShooterPlayerController* player, FLinearColor color, float scale,
                          float display_time, std::u16string_view text);
// A chat message under the sender's name.
void PushChatMessageText(AShooterPlayerController* player, const FString& sender,
                         std::u16string_view text);
// A server message. The game shows these as ASCII: every byte from 0x80 up
// becomes "?".
void PushServerMessageText(AShooterPlayerController* player, FLinearColor color,
                           std::string_view text);

// The same, with the text a template formatted once with the arguments. The
// template is not looked at for a null player.
template <typename... Args>
void PushNotification(AShooterPlayerController* player, FLinearColor color, float scale,
                      float display_time, std::u16string_view format, const Args&... args) {
  if (player != nullptr) {
    PushNotificationText(player, color, scale, display_time, FormatWide(format, args...));
  }
}

template <typename... Args>
void PushChatMessage(AShooterPlayerController* player, const FString& sender,
                     std::u16string_view format, const Args&... args) {
  if (player != nullptr) {
    PushChatMessageText(player, sender, FormatWide(format, args...));
  }
}

template <typename... Args>
void PushServerMessage(AShooterPlayerController* player, FLinearColor color,
                       std::string_view format, const Args&... args) {
  if (player != nullptr) {
    PushServerMessageText(player, color, fmt::vformat(format, fmt::make_format_args(args...)));
  }
}

}  // namespace cairnward
