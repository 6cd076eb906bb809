#pragma once

#include <string>
#include <string_view>

namespace standin {

// UTF-8 and UTF-16, both ways. Malformed input (bad bytes, lone surrogates)
// becomes U+FFFD rather than failing: game text is never refused.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace standin
