#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "config/setting.h"

// The table's entries for what players and administrators are shown:
// "Messages" and the show-limits display.
namespace cairnward::settings {

// Each entry names what it sets and leaves the rest at the defaults of Setting.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

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

inline constexpr std::string_view kLocalCountMeaning =
    "this server's own count (in a cluster; else the same as the team's)";

inline constexpr std::array<TemplateArgument, 4> kLimitLineArguments{{
    {TemplateArgument::Kind::kText, "the display name"},
    {TemplateArgument::Kind::kInteger, "the team's count"},
    {TemplateArgument::Kind::kInteger, "the limit"},
    {TemplateArgument::Kind::kInteger, kLocalCountMeaning, true},
}};

inline constexpr std::array<TemplateArgument, 3> kTotalLineArguments{{
    {TemplateArgument::Kind::kInteger, "the team's total"},
    {TemplateArgument::Kind::kInteger, "MaxAmount"},
    {TemplateArgument::Kind::kInteger, kLocalCountMeaning, true},
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

// A limit's name, the team's count and the limit: the refusal names the
// limit that refused, the at-limit warning the limit just reached. A text
// that names the limit alone is complete.
inline constexpr std::array<TemplateArgument, 3> kRefusalArguments{{
    {TemplateArgument::Kind::kText, "the name of the limit that refused"},
    {TemplateArgument::Kind::kInteger, "the team's count", true},
    {TemplateArgument::Kind::kInteger, "the limit", true},
}};

inline constexpr std::array<TemplateArgument, 3> kAtLimitArguments{{
    {TemplateArgument::Kind::kText, "the name of the limit"},
    {TemplateArgument::Kind::kInteger, "the team's new count (the limit)", true},
    {TemplateArgument::Kind::kInteger, "the limit", true},
}};

inline constexpr Setting kReachLimitMsg{.parent = &kMessages,
                                        .name = "ReachLimitMsg",
                                        .kind = SettingKind::kString,
                                        .fallback = kNoMessage,
                                        .read_when = "when a placement is refused",
                                        .if_absent = "refusals show \"ReachLimit\"",
                                        .if_wrong = kRefusalUntold,
                                        .is_template = true,
                                        .arguments = kRefusalArguments};

inline constexpr Setting kAtLimitMsg{
    .parent = &kMessages,
    .name = "AtLimitMsg",
    .kind = SettingKind::kString,
    .fallback = kNoMessage,
    .read_when = "after a placement that brings a count exactly to its limit, with WarnAtPercent",
    .if_absent = "that warning shows \"NearLimitMsg\"",
    .if_wrong = kWarningUnshown,
    .is_template = true,
    .arguments = kAtLimitArguments};

inline constexpr Setting kTotalName{
    .parent = &kMessages,
    .name = "TotalName",
    .kind = SettingKind::kString,
    .fallback = std::string_view("Total"),
    .read_when = "in a warning or refusal about the total and by cairnward.over",
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

#pragma GCC diagnostic pop

}  // namespace cairnward::settings
