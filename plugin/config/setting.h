#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <variant>

namespace cairnward {

// What the table of config.json's keys (config/settings.h) says of each key,
// and the builders its entries share.

enum class SettingKind { kObject, kBoolean, kInteger, kNumber, kString, kStringList };

// An object that reads as empty when it is absent.
struct EmptyObject {};

// What the plug-in uses in place of an absent setting; monostate when the
// setting is read as required.
using SettingDefault =
    std::variant<std::monostate, EmptyObject, bool, std::int32_t, std::string_view>;

// How an administrator should take the absence of a setting.
enum class WhenAbsent { kFine, kWarning, kError };

// The arguments a message template is formatted with, in order.
struct TemplateArgument {
  enum class Kind { kText, kInteger } kind;
  std::string_view meaning;
  bool optional = false;  // a template that never shows it is complete
};

struct Setting {
  const Setting* parent = nullptr;  // null: a member of the top-level object
  std::string_view name;            // kAnyMember: every member, each named by the administrator
  SettingKind kind = SettingKind::kObject;
  SettingDefault fallback;
  WhenAbsent absent = WhenAbsent::kFine;
  std::string_view read_when;  // when the plug-in reads it
  std::string_view if_absent;  // what the plug-in does without it
  std::string_view if_wrong;   // what happens when it cannot be read
  bool is_template = false;
  std::span<const TemplateArgument> arguments;  // of a template
  std::span<const std::string_view> choices;    // the texts it acts on; empty: any
  // What happens with any other text, or with a number out of its range.
  std::string_view if_other;
  // Read whole when the file is read: a wrong type or range refuses the file.
  bool read_with_file = false;
  std::string_view member_label;  // for kAnyMember: what the administrator names
  // The range of an integer read with the file; a text read with the file
  // with `lowest` 1 must not be empty. A number's documented range: the
  // plug-in reads one outside it all the same.
  std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  std::int32_t highest = std::numeric_limits<std::int32_t>::max();
};

inline constexpr std::string_view kAnyMember = "*";
inline constexpr std::string_view kNoMessage = "No message";

namespace settings {

// Each entry names what it sets and leaves the rest at the defaults above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

inline constexpr std::string_view kFileRefused =
    "the plug-in refuses the whole file (it does not load, and a reload keeps the "
    "configuration in force)";
inline constexpr std::string_view kHooksFail =
    "each of these fails and logs the error, and the game decides alone: no limit holds";
inline constexpr std::string_view kBlueprintFails =
    "a placement of this blueprint and every tribe join fail and log the error, and the game "
    "decides alone; show-limits fails, and so does a recount once a team owns one";
inline constexpr std::string_view kShowLimitsFails = "show-limits fails and logs a warning";
inline constexpr std::string_view kRefusalUntold =
    "the refusal still holds, but the players are not told why and the error is logged";
inline constexpr std::string_view kShownNoMessage = "players are shown \"No message\"";

inline constexpr std::string_view kReadWithFile =
    "at load and at every reload, with the rest of the file";

// A setting read whole with the file, so that a wrong one refuses the file.
inline constexpr Setting ReadWithFile(const Setting* parent, std::string_view name,
                                      SettingKind kind, SettingDefault fallback = {},
                                      std::string_view if_absent = {}) {
  return Setting{.parent = parent,
                 .name = name,
                 .kind = kind,
                 .fallback = fallback,
                 .read_when = kReadWithFile,
                 .if_absent = if_absent,
                 .if_wrong = kFileRefused,
                 .read_with_file = true};
}

// The same for every member of an object, each named by the administrator.
inline constexpr Setting AnyMemberReadWithFile(const Setting* parent, SettingKind kind,
                                               SettingDefault fallback, std::string_view label) {
  Setting setting = ReadWithFile(parent, kAnyMember, kind, fallback);
  setting.member_label = label;
  return setting;
}

// The setting with the range a read with the file holds it to.
inline constexpr Setting InRange(Setting setting, std::int32_t lowest,
                                 std::int32_t highest = std::numeric_limits<std::int32_t>::max()) {
  setting.lowest = lowest;
  setting.highest = highest;
  return setting;
}

#pragma GCC diagnostic pop

}  // namespace settings
}  // namespace cairnward
