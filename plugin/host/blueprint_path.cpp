#include "host/blueprint_path.h"

#include <string>

#include "api/game_members.h"
#include "host/game.h"

namespace cairnward {
namespace {

constexpr std::u16string_view kDefaultPrefix = u"Default__";

// One pass, left to right: what a removal joins together is not looked at
// again.
void AppendWithoutDefaultPrefix(std::u16string& out, std::u16string_view text) {
  for (std::size_t at = text.find(kDefaultPrefix); at != std::u16string_view::npos;
       at = text.find(kDefaultPrefix)) {
    out.append(text.substr(0, at));
    text.remove_prefix(at + kDefaultPrefix.size());
  }
  out.append(text);
}

}  // namespace

FString BlueprintPathFromFullName(std::u16string_view full_name) {
  const std::size_t space = full_name.find(u' ');
  if (space == std::u16string_view::npos) {
    return FString();
  }
  std::u16string_view object_path = full_name.substr(space + 1);
  if (object_path.ends_with(u"_C")) {
    object_path.remove_suffix(2);
  }
  // The quotes cannot hold "Default__", so only the object path is scanned.
  std::u16string path = u"Blueprint'";
  path.reserve(path.size() + object_path.size() + 1);
  AppendWithoutDefaultPrefix(path, object_path);
  path.push_back(u'\'');
  return FString(path);
}

FString BlueprintPathOf(const UObjectBase* object) {
  if (object == nullptr) {
    return FString();
  }
  UClass* cls = Field<game::kClass>(object);
  if (cls == nullptr) {
    return FString();
  }
  UObject* default_object = CallGame<game::kGetDefaultObject>(cls, true);
  if (default_object == nullptr) {
    return FString();
  }
  FString full_name;
  CallGame<game::kGetFullName>(default_object, &full_name, nullptr);
  // The game's text ends at its first NUL.
  return BlueprintPathFromFullName(std::u16string_view(*full_name));
}

bool IsC4Charge(std::u16string_view path) {
  constexpr std::u16string_view kC4 = u"c4charge";
  const auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
  };
  for (std::size_t at = 0; at + kC4.size() <= path.size(); ++at) {
    // Most positions fail at the first unit: only "C" and "c" pass this.
    if ((path[at] | 0x20U) != u'c') {
      continue;
    }
    std::size_t matched = 1;
    while (matched < kC4.size() && lower(path[at + matched]) == kC4[matched]) {
      ++matched;
    }
    if (matched == kC4.size()) {
      return true;
    }
  }
  return false;
}

}  // namespace cairnward
