#include "standin/blueprint_path.h"

#include "standin/utf8.h"

namespace standin {
namespace {

constexpr std::string_view kPrefix = "Blueprint'";

}  // namespace

std::string BlueprintPath(std::string_view object_path) {
  std::string path(kPrefix);
  path.append(object_path);
  path.push_back('\'');
  return path;
}

std::u16string BlueprintPath16(std::string_view object_path) {
  return Utf8ToUtf16(BlueprintPath(object_path));
}

std::string ObjectPathOf(std::string_view text) {
  if (text.size() > kPrefix.size() && text.starts_with(kPrefix) && text.back() == '\'') {
    text = text.substr(kPrefix.size(), text.size() - kPrefix.size() - 1);
  }
  return std::string(text);
}

}  // namespace standin
