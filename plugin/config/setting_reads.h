#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "config/json_access.h"
#include "config/setting.h"

namespace cairnward {

// The object a setting of kind kObject names, reached as the plug-in reaches
// it: a member with an empty-object default through MemberOrEmpty, any other
// through Required. `member` names the member where the table says
// kAnyMember.
const Json& SettingObject(const Json& root, const Setting& object, std::string_view member = {});

// The object a setting lives in.
const Json& ParentOf(const Json& root, const Setting& key, std::string_view member = {});

// The setting's own name, or `member` for kAnyMember.
std::string_view NameOf(const Setting& key, std::string_view member);

// The JSON pointer (RFC 6901) of a setting, `member` naming its kAnyMember
// level: "/Structures/Blueprint'~1Game~1Wall.Wall'/Count".
std::string SettingPointer(const Setting& key, std::string_view member = {});

// A setting read with its default. A failure notes the setting's pointer.
template <typename T>
T SettingOr(const Json& root, const Setting& key, std::string_view member = {}) {
  try {
    const Json& parent = ParentOf(root, key, member);
    if constexpr (std::is_same_v<T, std::string>) {
      return ValueOr<std::string>(parent, NameOf(key, member),
                                  std::string(std::get<std::string_view>(key.fallback)));
    } else {
      return ValueOr<T>(parent, NameOf(key, member), std::get<T>(key.fallback));
    }
  } catch (const Json::exception&) {
    NoteFailedMember(SettingPointer(key, member));
    throw;
  }
}

// A setting read as required: absent, it fails with the JSON library's error.
template <typename T>
T RequiredSetting(const Json& root, const Setting& key, std::string_view member = {}) {
  try {
    return RequiredValue<T>(ParentOf(root, key, member), NameOf(key, member));
  } catch (const Json::exception&) {
    NoteFailedMember(SettingPointer(key, member));
    throw;
  }
}

// The member names of "Structures", in byte order: the blueprints that have
// limits of their own. Fails with the JSON library's error when "Structures"
// is neither an object nor null (an empty array names nothing).
std::vector<std::string> LimitedBlueprints(const Json& root);

}  // namespace cairnward
