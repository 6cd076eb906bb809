#include "wording.h"

#include <algorithm>

#include <fmt/format.h>

#include "json_positions.h"

namespace checkconfig {

std::string Quoted(std::string_view text) {
  return fmt::format("\"{}\"", text);
}

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return folded;
}

std::string TablePointer(const cairnward::Setting& setting) {
  const std::string parent = setting.parent != nullptr ? TablePointer(*setting.parent) : "";
  return parent + "/" +
         (setting.name == cairnward::kAnyMember ? std::string(setting.member_label)
                                                : PointerToken(setting.name));
}

std::string ReadAt(const cairnward::Setting& setting) {
  return fmt::format("It is read {}", setting.read_when);
}

std::string Logs(const std::string& failure) {
  return failure.empty() ? "." : "; the plug-in then logs " + Quoted(failure) + ".";
}

}  // namespace checkconfig
