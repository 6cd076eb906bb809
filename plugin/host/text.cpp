#include "host/text.h"

#include "api/ark_api.h"

namespace cairnward {

std::u16string AsciiWiden(std::string_view bytes) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto unit = static_cast<unsigned char>(byte);
    wide.push_back(unit < 0x80 ? static_cast<char16_t>(unit) : u'?');
  }
  return wide;
}

FString AsciiFString(std::string_view bytes) {
  return FStringUpToNul(AsciiWiden(bytes));
}

FString FStringUpToNul(std::u16string_view text) {
  return FString(UpToNul(text));
}

std::string ToUtf8(std::u16string_view text) {
  return ArkApi::Tools::Utf8Encode(std::u16string(text));
}

std::u16string FromUtf8(const std::string& text) {
  return ArkApi::Tools::Utf8Decode(text);
}

std::string ReadableUtf8(std::string_view bytes) {
  return ToUtf8(FromUtf8(std::string(bytes)));
}

}  // namespace cairnward
