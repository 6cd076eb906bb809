#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "config/json_access.h"

namespace cairnward {

// The keys of config.json, in one table: where each lives, what it holds,
// what the plug-in uses when it is absent, and when it is read. The
// plug-in's reads go through these entries, and the config checker walks
// the same table, so the two cannot disagree about a key.

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

inline constexpr Setting kDebug{
    .name = "Debug",
    .kind = SettingKind::kBoolean,
    .fallback = false,
    .read_when = "at every trace line: each recount and each hook call",
    .if_wrong =
        "the recount at load fails (the plug-in does not load while the world is up), "
        "and every hook fails and logs the error, so no limit holds"};

inline constexpr Setting kGeneral{.name = "General",
                                  .absent = WhenAbsent::kError,
                                  .read_when = "at load and at every reload",
                                  .if_absent = kFileRefused,
                                  .if_wrong = kFileRefused};

inline constexpr Setting kIgnoreAdmin{.parent = &kGeneral,
                                      .name = "IgnoreAdmin",
                                      .kind = SettingKind::kBoolean,
                                      .fallback = false,
                                      .read_when = "at load and at every reload",
                                      .if_wrong = kFileRefused};

inline constexpr Setting kMaxAmount{
    .parent = &kGeneral,
    .name = "MaxAmount",
    .kind = SettingKind::kInteger,
    .fallback = std::int32_t{0},
    .absent = WhenAbsent::kError,
    .read_when = "at every placement, removal and tribe join, and by show-limits",
    .if_absent =
        "the limit rules take 0, so every placement is refused (exempt administrators "
        "aside), and show-limits fails",
    .if_wrong =
        "placements, removals and tribe joins fail and log the error, and the game "
        "decides alone; show-limits fails"};

inline constexpr Setting kNotificationScale{
    .parent = &kGeneral,
    .name = "NotificationScale",
    .kind = SettingKind::kNumber,
    .absent = WhenAbsent::kError,
    .read_when = "at each refusal notification (placement, tribe merge, invitation)",
    .if_absent = kRefusalUntold,
    .if_wrong = kRefusalUntold};

inline constexpr Setting kNotificationDisplayTime{
    .parent = &kGeneral,
    .name = "NotificationDisplayTime",
    .kind = SettingKind::kNumber,
    .absent = WhenAbsent::kError,
    .read_when = "at each refusal notification (placement, tribe merge, invitation)",
    .if_absent = kRefusalUntold,
    .if_wrong = kRefusalUntold};

inline constexpr Setting kStructures{
    .name = "Structures",
    .read_when =
        "at every recount (load, game start, reload, UpdateStructures), placement, "
        "tribe join and show-limits",
    .if_absent = "no blueprint has a limit of its own; only MaxAmount applies",
    .if_wrong =
        "every recount fails: the plug-in does not load while the world is up, and "
        "reloads, UpdateStructures and the game start fail"};

inline constexpr Setting kBlueprint{
    .parent = &kStructures,
    .name = kAnyMember,
    .fallback = EmptyObject{},
    .read_when = "at each placement of this blueprint, every tribe join and by show-limits",
    .if_wrong = kBlueprintFails,
    .member_label = "<blueprint path>"};

inline constexpr Setting kCount{
    .parent = &kBlueprint,
    .name = "Count",
    .kind = SettingKind::kInteger,
    .fallback = std::int32_t{9999},
    .read_when = "at each placement of this blueprint, every tribe join and by show-limits",
    .if_wrong = kBlueprintFails};

inline constexpr Setting kName{.parent = &kBlueprint,
                               .name = "Name",
                               .kind = SettingKind::kString,
                               .fallback = std::string_view(""),
                               .read_when = "by show-limits and cairnward.over",
                               .if_wrong = kShowLimitsFails};

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

inline constexpr Setting kWarnAtPercent =
    InRange(ReadWithFile(&kGeneral, "WarnAtPercent", SettingKind::kInteger, {},
                         "players are not warned before a limit"),
            1, 100);

inline constexpr Setting kGroups =
    ReadWithFile(nullptr, "Groups", SettingKind::kObject, {}, "no blueprints share a limit");
inline constexpr Setting kGroup =
    AnyMemberReadWithFile(&kGroups, SettingKind::kObject, EmptyObject{}, "<group>");
inline constexpr Setting kGroupName =
    ReadWithFile(&kGroup, "Name", SettingKind::kString, std::string_view(""));
inline constexpr Setting kGroupCount =
    ReadWithFile(&kGroup, "Count", SettingKind::kInteger, std::int32_t{9999});
inline constexpr Setting kGroupBlueprints = [] {
  Setting setting = ReadWithFile(&kGroup, "Blueprints", SettingKind::kStringList, {},
                                 "the group has no members and limits nothing");
  setting.absent = WhenAbsent::kWarning;
  return setting;
}();

inline constexpr Setting kTeams = ReadWithFile(nullptr, "Teams", SettingKind::kObject, {},
                                               "every team has the limits configured for everyone");
inline constexpr Setting kTeam =
    AnyMemberReadWithFile(&kTeams, SettingKind::kObject, EmptyObject{}, "<team id>");
inline constexpr Setting kTeamMaxAmount = ReadWithFile(&kTeam, "MaxAmount", SettingKind::kInteger,
                                                       {}, "the team has General -> MaxAmount");
inline constexpr Setting kTeamStructures = ReadWithFile(&kTeam, "Structures", SettingKind::kObject);
inline constexpr Setting kTeamStructureCount =
    AnyMemberReadWithFile(&kTeamStructures, SettingKind::kInteger, {}, "<blueprint path>");
inline constexpr Setting kTeamGroups = ReadWithFile(&kTeam, "Groups", SettingKind::kObject);
inline constexpr Setting kTeamGroupCount =
    AnyMemberReadWithFile(&kTeamGroups, SettingKind::kInteger, {}, "<group>");

inline constexpr std::string_view kClusterReadWhen =
    "with the rest of the file; the link to Redis is made at load, and a reload keeps it as it "
    "is";

inline constexpr Setting kCluster = [] {
  Setting setting = ReadWithFile(nullptr, "Cluster", SettingKind::kObject, {},
                                 "limits count this server's world alone, and no Redis is used");
  setting.read_when = kClusterReadWhen;
  return setting;
}();

inline constexpr Setting ClusterSetting(std::string_view name, SettingKind kind,
                                        SettingDefault fallback, std::string_view if_absent = {}) {
  Setting setting = ReadWithFile(&kCluster, name, kind, fallback, if_absent);
  setting.read_when = kClusterReadWhen;
  if (std::holds_alternative<std::monostate>(fallback)) {
    setting.absent = WhenAbsent::kError;
  }
  return setting;
}

inline constexpr Setting kClusterHost =
    ClusterSetting("Host", SettingKind::kString, std::string_view("127.0.0.1"));
inline constexpr Setting kClusterPort =
    InRange(ClusterSetting("Port", SettingKind::kInteger, std::int32_t{6379}), 1, 65535);
inline constexpr Setting kClusterPassword =
    ClusterSetting("Password", SettingKind::kString, std::string_view(""));
inline constexpr Setting kClusterDatabase =
    InRange(ClusterSetting("Database", SettingKind::kInteger, std::int32_t{0}), 0);
// Not empty: a text's `lowest` is its least length.
inline constexpr Setting kClusterName =
    InRange(ClusterSetting("Name", SettingKind::kString, std::monostate{}, kFileRefused), 1);
inline constexpr Setting kClusterServer =
    InRange(ClusterSetting("Server", SettingKind::kString, std::monostate{}, kFileRefused), 1);
inline constexpr Setting kClusterTimeoutMs =
    InRange(ClusterSetting("TimeoutMs", SettingKind::kInteger, std::int32_t{20}), 1, 60000);
inline constexpr Setting kClusterRetryMs =
    InRange(ClusterSetting("RetryMs", SettingKind::kInteger, std::int32_t{1000}), 10, 3600000);
inline constexpr Setting kClusterBackgroundTimeoutMs = InRange(
    ClusterSetting("BackgroundTimeoutMs", SettingKind::kInteger, std::int32_t{2000}), 1, 600000);
inline constexpr Setting kClusterHeartbeatMs =
    InRange(ClusterSetting("HeartbeatMs", SettingKind::kInteger, std::int32_t{1000}), 10, 600000);
inline constexpr Setting kClusterLeaseMs =
    InRange(ClusterSetting("LeaseMs", SettingKind::kInteger, std::int32_t{5000}), 100, 3600000);

inline constexpr Setting kMessages{
    .name = "Messages",
    .absent = WhenAbsent::kError,
    .read_when = "at load (the chat command's name) and whenever a message is sent",
    .if_absent = "the plug-in does not load",
    .if_wrong = "the plug-in does not load"};

inline constexpr Setting kShowLimitsCmd{
    .parent = &kMessages,
    .name = "ShowLimitsCmd",
    .kind = SettingKind::kString,
    .fallback = kNoMessage,
    .absent = WhenAbsent::kWarning,
    .read_when = "at load",
    .if_absent = "the chat command is registered as \"No message\"",
    .if_wrong = "the plug-in does not load"};

inline constexpr Setting KeyedNotification(std::string_view name, std::string_view when) {
  return Setting{.parent = &kMessages,
                 .name = name,
                 .kind = SettingKind::kString,
                 .fallback = kNoMessage,
                 .absent = WhenAbsent::kWarning,
                 .read_when = when,
                 .if_absent = kShownNoMessage,
                 .if_wrong = kRefusalUntold,
                 .is_template = true};
}

inline constexpr Setting kReachLimit =
    KeyedNotification("ReachLimit", "when a placement is refused");
inline constexpr Setting kInvitingMergeFail =
    KeyedNotification("InvitingMergeFail", "when a tribe merge is refused");
inline constexpr Setting kInvitedMergeFail =
    KeyedNotification("InvitedMergeFail", "when a tribe merge is refused");
inline constexpr Setting kInvitingTribeFail =
    KeyedNotification("InvitingTribeFail", "when a tribe invitation is refused");
inline constexpr Setting kInvitedPlayerFail =
    KeyedNotification("InvitedPlayerFail", "when a tribe invitation is refused");

inline constexpr std::string_view kOwnCountMeaning =
    "this server's own count (in a cluster; else the same as the team's)";

inline constexpr std::array<TemplateArgument, 4> kLimitLineArguments{{
    {TemplateArgument::Kind::kText, "the display name"},
    {TemplateArgument::Kind::kInteger, "the team's count"},
    {TemplateArgument::Kind::kInteger, "the limit"},
    {TemplateArgument::Kind::kInteger, kOwnCountMeaning, true},
}};

inline constexpr std::array<TemplateArgument, 3> kTotalLineArguments{{
    {TemplateArgument::Kind::kInteger, "the team's total"},
    {TemplateArgument::Kind::kInteger, "MaxAmount"},
    {TemplateArgument::Kind::kInteger, kOwnCountMeaning, true},
}};

inline constexpr Setting kShowLimitMsg{.parent = &kMessages,
                                       .name = "ShowLimitMsg",
                                       .kind = SettingKind::kString,
                                       .fallback = kNoMessage,
                                       .absent = WhenAbsent::kWarning,
                                       .read_when = "by show-limits, once per limited blueprint",
                                       .if_absent = "each line of show-limits reads \"No message\"",
                                       .if_wrong = kShowLimitsFails,
                                       .is_template = true,
                                       .arguments = kLimitLineArguments};

inline constexpr Setting kTotalLimitMsg{.parent = &kMessages,
                                        .name = "TotalLimitMsg",
                                        .kind = SettingKind::kString,
                                        .fallback = kNoMessage,
                                        .absent = WhenAbsent::kWarning,
                                        .read_when = "by show-limits, for its last line",
                                        .if_absent =
                                            "the last line of show-limits reads \"No "
                                            "message\"",
                                        .if_wrong = kShowLimitsFails,
                                        .is_template = true,
                                        .arguments = kTotalLineArguments};

inline constexpr Setting kShowGroupMsg{
    .parent = &kMessages,
    .name = "ShowGroupMsg",
    .kind = SettingKind::kString,
    .fallback = kNoMessage,
    .read_when = "by show-limits and cairnward.limits, once per group",
    .if_absent = "group lines use \"ShowLimitMsg\"",
    .if_wrong = kShowLimitsFails,
    .is_template = true,
    .arguments = kLimitLineArguments};

inline constexpr std::array<TemplateArgument, 3> kNearLimitArguments{{
    {TemplateArgument::Kind::kText, "the name of the limit"},
    {TemplateArgument::Kind::kInteger, "the team's new count"},
    {TemplateArgument::Kind::kInteger, "the limit"},
}};

inline constexpr std::string_view kWarningUnshown =
    "the placement stands, but the warning is not shown and the error is logged";

inline constexpr Setting kNearLimitMsg{
    .parent = &kMessages,
    .name = "NearLimitMsg",
    .kind = SettingKind::kString,
    .fallback = kNoMessage,
    .read_when = "after a placement that reaches WarnAtPercent of a limit",
    .if_absent = kShownNoMessage,
    .if_wrong = kWarningUnshown,
    .is_template = true,
    .arguments = kNearLimitArguments};

inline constexpr Setting kTotalName{
    .parent = &kMessages,
    .name = "TotalName",
    .kind = SettingKind::kString,
    .fallback = std::string_view("Total"),
    .read_when = "in a warning about the total and by cairnward.over",
    .if_wrong = kWarningUnshown};

// A template only as the heading of the show-limits notification; as the
// sender name of a chat message it goes out as it is.
inline constexpr Setting kSender{.parent = &kMessages,
                                 .name = "Sender",
                                 .kind = SettingKind::kString,
                                 .fallback = kNoMessage,
                                 .absent = WhenAbsent::kWarning,
                                 .read_when = "by show-limits and GetBp",
                                 .if_absent = "replies come from \"No message\"",
                                 .if_wrong =
                                     "show-limits and GetBp fail (a template the formatter "
                                     "rejects fails only the show-limits heading)",
                                 .is_template = true};

inline constexpr Setting ShowLimitsSetting(std::string_view name, SettingKind kind,
                                           const Setting* parent = &kMessages) {
  return Setting{.parent = parent,
                 .name = name,
                 .kind = kind,
                 .absent = WhenAbsent::kError,
                 .read_when = "by show-limits",
                 .if_absent = kShowLimitsFails,
                 .if_wrong = kShowLimitsFails};
}

// Exact texts: any other, even in another case, sends nothing.
inline constexpr std::array<std::string_view, 2> kShowLimitsTypes{"Notification", "Chat"};

inline constexpr Setting kShowLimitsType = [] {
  Setting setting = ShowLimitsSetting("ShowLimitsType", SettingKind::kString);
  setting.choices = kShowLimitsTypes;
  setting.if_other = "show-limits sends nothing";
  return setting;
}();
inline constexpr Setting kNotificationColor =
    ShowLimitsSetting("NotificationColor", SettingKind::kObject);
inline constexpr Setting ColourPart(std::string_view name) {
  Setting setting =
      InRange(ShowLimitsSetting(name, SettingKind::kNumber, &kNotificationColor), 0, 1);
  setting.if_other =
      "The plug-in passes it to the game as it is, and a colour part runs from 0 (none) to 1 "
      "(full): write 1, not 255, for full";
  return setting;
}
inline constexpr Setting kRed = ColourPart("Red");
inline constexpr Setting kGreen = ColourPart("Green");
inline constexpr Setting kBlue = ColourPart("Blue");
inline constexpr Setting kShowLimitsScale =
    ShowLimitsSetting("ShowLimitsScale", SettingKind::kNumber);
inline constexpr Setting kShowLimitsDisplayTime =
    ShowLimitsSetting("ShowLimitsDisplayTime", SettingKind::kNumber);

// Every setting, each object before its members.
inline constexpr auto kAll = std::to_array<const Setting*>({
    &kDebug,
    &kGeneral,
    &kIgnoreAdmin,
    &kMaxAmount,
    &kNotificationScale,
    &kNotificationDisplayTime,
    &kStructures,
    &kBlueprint,
    &kCount,
    &kName,
    &kWarnAtPercent,
    &kGroups,
    &kGroup,
    &kGroupName,
    &kGroupCount,
    &kGroupBlueprints,
    &kTeams,
    &kTeam,
    &kTeamMaxAmount,
    &kTeamStructures,
    &kTeamStructureCount,
    &kTeamGroups,
    &kTeamGroupCount,
    &kCluster,
    &kClusterHost,
    &kClusterPort,
    &kClusterPassword,
    &kClusterDatabase,
    &kClusterName,
    &kClusterServer,
    &kClusterTimeoutMs,
    &kClusterRetryMs,
    &kClusterBackgroundTimeoutMs,
    &kClusterHeartbeatMs,
    &kClusterLeaseMs,
    &kMessages,
    &kShowLimitsCmd,
    &kReachLimit,
    &kInvitingMergeFail,
    &kInvitedMergeFail,
    &kInvitingTribeFail,
    &kInvitedPlayerFail,
    &kShowLimitMsg,
    &kTotalLimitMsg,
    &kShowGroupMsg,
    &kNearLimitMsg,
    &kTotalName,
    &kSender,
    &kShowLimitsType,
    &kNotificationColor,
    &kRed,
    &kGreen,
    &kBlue,
    &kShowLimitsScale,
    &kShowLimitsDisplayTime,
});

#pragma GCC diagnostic pop

}  // namespace settings

// The object a setting of kind kObject names, reached as the plug-in reaches
// it: a member with an empty-object default through MemberOrEmpty, any other
// through Required. `member` names the member where the table says
// kAnyMember.
const Json& SettingObject(const Json& root, const Setting& object, std::string_view member = {});

// The object a setting lives in.
const Json& ParentOf(const Json& root, const Setting& key, std::string_view member = {});

// The setting's own name, or `member` for kAnyMember.
std::string_view NameOf(const Setting& key, std::string_view member);

// A setting read with its default.
template <typename T>
T SettingOr(const Json& root, const Setting& key, std::string_view member = {}) {
  const Json& parent = ParentOf(root, key, member);
  if constexpr (std::is_same_v<T, std::string>) {
    return ValueOr<std::string>(parent, NameOf(key, member),
                                std::string(std::get<std::string_view>(key.fallback)));
  } else {
    return ValueOr<T>(parent, NameOf(key, member), std::get<T>(key.fallback));
  }
}

// A setting read as required: absent, it fails with the JSON library's error.
template <typename T>
T RequiredSetting(const Json& root, const Setting& key, std::string_view member = {}) {
  return RequiredValue<T>(ParentOf(root, key, member), NameOf(key, member));
}

// The member names of "Structures", in byte order: the blueprints that have
// limits of their own. Fails with the JSON library's error when "Structures"
// is neither an object nor null (an empty array names nothing).
std::vector<std::string> LimitedBlueprints(const Json& root);

}  // namespace cairnward
