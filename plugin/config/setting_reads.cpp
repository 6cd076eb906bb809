#include "config/setting_reads.h"

#include "config/settings.h"

namespace cairnward {

std::string_view NameOf(const Setting& key, std::string_view member) {
  return key.name == kAnyMember ? member : key.name;
}

const Json& ParentOf(const Json& root, const Setting& key, std::string_view member) {
  return key.parent != nullptr ? SettingObject(root, *key.parent, member) : root;
}

const Json& SettingObject(const Json& root, const Setting& object, std::string_view member) {
  const Json& parent = ParentOf(root, object, member);
  const std::string_view name = NameOf(object, member);
  try {
    return std::holds_alternative<EmptyObject>(object.fallback) ? MemberOrEmpty(parent, name)
                                                                : Required(parent, name);
  } catch (const Json::exception&) {
    NoteFailedMember(SettingPointer(object, member));
    throw;
  }
}

std::string SettingPointer(const Setting& key, std::string_view member) {
  const std::string parent = key.parent != nullptr ? SettingPointer(*key.parent, member) : "";
  return parent + "/" + PointerToken(NameOf(key, member));
}

std::vector<std::string> LimitedBlueprints(const Json& root) {
  const Json& structures = SettingObject(root, settings::kStructures);
  std::vector<std::string> names;
  // Anything but an object or null has no names, and the JSON library says
  // so when asked for one.
  for (auto it = structures.begin(); it != structures.end(); ++it) {
    names.push_back(it.key());
  }
  return names;
}

}  // namespace cairnward
