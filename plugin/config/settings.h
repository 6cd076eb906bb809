#pragma once

#include <array>

#include "config/general_settings.h"
#include "config/message_settings.h"
#include "config/setting.h"

// The keys of config.json, in one table: where each lives, what it holds,
// what the plug-in uses when it is absent, and when it is read. The
// plug-in's reads go through these entries (config/setting_reads.h), and the
// config checker walks the same table, so the two cannot disagree about a key.
namespace cairnward::settings {

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
    &kReachLimitMsg,
    &kAtLimitMsg,
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

}  // namespace cairnward::settings
