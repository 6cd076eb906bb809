#pragma once

#include <cstdint>
#include <limits>
#include <string_view>
#include <variant>

#include "config/setting.h"

// The table's entries for the limits and the cluster: "Debug", "General",
// "Structures", "Groups", "Teams" and "Cluster".
namespace cairnward::settings {

// Each entry names what it sets and leaves the rest at the defaults of Setting.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

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

#pragma GCC diagnostic pop

}  // namespace cairnward::settings
