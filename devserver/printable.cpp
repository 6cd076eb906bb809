#include "printable.h"

#include <fmt/format.h>

namespace devserver {

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls, U+0080 to U+009F, are 0xC2 then 0x80 to 0x9F in UTF-8.
    if (byte == 0xC2 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xE0U) == 0x80U) {
      out += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[i + 1]));
      ++i;
    } else if (byte >= 0x20 && byte != 0x7F) {
      out.push_back(text[i]);
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else {
      out += fmt::format("\\x{:02x}", byte);
    }
  }
  return out;
}

}  // namespace devserver
