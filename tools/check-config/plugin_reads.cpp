#include "plugin_reads.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <type_traits>
#include <variant>
#include <vector>

#include "config/config.h"
#include "config/setting_reads.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
using cairnward::Setting;
using cairnward::SettingKind;

const Setting* FirstMemberOf(const Setting& object) {
  const auto& all = cairnward::settings::kAll;
  const auto it =
      std::find_if(all.begin(), all.end(), [&](const Setting* s) { return s->parent == &object; });
  return it != all.end() ? *it : nullptr;
}

template <typename T>
void ReadSetting(const Json& root, const Setting& setting, std::string_view member,
                 bool as_required) {
  // No number has a default.
  if constexpr (!std::is_same_v<T, float>) {
    if (!as_required && !std::holds_alternative<std::monostate>(setting.fallback)) {
      (void)cairnward::SettingOr<T>(root, setting, member);
      return;
    }
  }
  (void)cairnward::RequiredSetting<T>(root, setting, member);
}

}  // namespace

void ReadLikeThePlugin(const Json& root, const Setting& setting, std::string_view member,
                       bool as_required) {
  switch (setting.kind) {
    case SettingKind::kBoolean:
      ReadSetting<bool>(root, setting, member, as_required);
      return;
    case SettingKind::kInteger:
      ReadSetting<std::int32_t>(root, setting, member, as_required);
      return;
    case SettingKind::kNumber:
      ReadSetting<float>(root, setting, member, as_required);
      return;
    case SettingKind::kString:
      ReadSetting<std::string>(root, setting, member, as_required);
      return;
    case SettingKind::kStringList:
    case SettingKind::kObject:
      break;
  }
  const Setting* first = FirstMemberOf(setting);
  if (first->name == cairnward::kAnyMember) {
    (void)cairnward::LimitedBlueprints(root);
  } else {
    ReadLikeThePlugin(root, *first, member, false);
  }
}

void ReadValue(SettingKind kind, const Json& value) {
  switch (kind) {
    case SettingKind::kBoolean:
      (void)cairnward::Read<bool>(value);
      return;
    case SettingKind::kInteger:
      (void)cairnward::Read<std::int32_t>(value);
      return;
    case SettingKind::kNumber:
      (void)cairnward::Read<float>(value);
      return;
    case SettingKind::kString:
      (void)cairnward::Read<std::string>(value);
      return;
    case SettingKind::kStringList:
      (void)cairnward::Read<std::vector<std::string>>(value);
      return;
    case SettingKind::kObject:
      return;
  }
}

std::string LoadFailure(std::string_view text) {
  return ErrorOf([&] {
    std::istringstream in{std::string(text)};
    (void)cairnward::ParseConfig(in);
  });
}

}  // namespace checkconfig
