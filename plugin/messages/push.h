#pragma once

#include <cstddef>
#include <iterator>
#include <stdexcept>
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

// The longest text one template may make. No player reads more, and a
// width in a template ("{:>999999999}") must not make the game server
// allocate gigabytes.
inline constexpr std::size_t kMaxFormattedLength = 65536;

// The longest reply of show-limits and of the administrators' commands: one
// template's worth. A longer one is cut to this length, its last character "…".
inline constexpr std::size_t kMaxReplyLength = kMaxFormattedLength;

// Whether the reply passed `cap` (kMaxReplyLength unless a line must follow
// it); if so it is cut there, with "…" as its last character, and never
// between the halves of a surrogate pair.
bool CutAtCap(std::u16string& body, std::size_t cap = kMaxReplyLength);

// Appends what fmt writes, and fails once the text would pass the bound:
// fmt writes through it in small pieces, so nothing large is allocated first.
class BoundedAppender {
 public:
  using iterator_category = std::output_iterator_tag;
  using value_type = void;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = void;

  explicit BoundedAppender(std::u16string& out) : out_(&out) {}

  BoundedAppender& operator=(char16_t unit) {
    if (out_->size() >= kMaxFormattedLength) {
      throw std::length_error("message text longer than " + std::to_string(kMaxFormattedLength) +
                              " characters");
    }
    out_->push_back(unit);
    return *this;
  }
  BoundedAppender& operator*() { return *this; }
  BoundedAppender& operator++() { return *this; }
  BoundedAppender operator++(int) { return *this; }

 private:
  std::u16string* out_;
};

// Formats a wide template once. Fails with fmt's format_error when the
// template asks for an argument it is not given or has an unpaired brace,
// and with length_error when the text would pass kMaxFormattedLength.
inline std::u16string VFormatWide(std::u16string_view format,
                                  fmt::basic_format_args<fmt::buffer_context<char16_t>> args) {
  std::u16string text;
  fmt::vformat_to(BoundedAppender(text),
                  fmt::basic_string_view<char16_t>(format.data(), format.size()), args);
  return text;
}

template <typename... Args>
std::u16string FormatWide(std::u16string_view format, const Args&... args) {
  return VFormatWide(format, fmt::make_format_args<fmt::buffer_context<char16_t>>(args...));
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
