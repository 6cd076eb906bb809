#pragma once

#include <string>
#include <string_view>

#include "api/fstring.h"

namespace cairnward {

// Byte by byte: 0x00-0x7F stay, every other byte becomes "?". Used where the
// game expects plain ASCII (RCON replies, server messages, ledger keys).
FString AsciiFString(std::string_view bytes);
std::u16string AsciiWiden(std::string_view bytes);

// Up to the first NUL, as the game's strings end there.
inline std::u16string_view UpToNul(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}
FString FStringUpToNul(std::u16string_view text);

// UTF-8 form of game text, through the host.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(const std::string& text);

// The bytes as valid UTF-8, every malformed sequence shown as U+FFFD.
std::string ReadableUtf8(std::string_view bytes);

}  // namespace cairnward
