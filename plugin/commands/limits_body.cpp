#include "commands/limits_body.h"

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "counts/counts.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {

std::int32_t ShownMaxAmount(const Json& root, std::int32_t team) {
  const TeamLimits* team_limits = Limits().LimitsOf(team);
  return team_limits != nullptr && team_limits->max_amount
             ? *team_limits->max_amount
             : RequiredSetting<std::int32_t>(root, settings::kMaxAmount);
}

// Only the templates are formatted; names are arguments, each cut at its
// first NUL rather than ending the whole reply there. Formatting stops once
// the reply is too long to send whole.
std::u16string LimitsBody(const Json& root, std::int32_t team, const TeamView& counts,
                          const TeamView& here, std::int32_t maximum) {
  std::u16string body;
  const std::u16string blueprint_line = MessageText(root, "ShowLimitMsg");
  const Ledger& ledger = StructureLedger();
  std::size_t index = 0;
  for (auto entry = ledger.begin(); entry != ledger.end(); ++entry, ++index) {
    const std::u16string_view path = entry->first.View();
    const std::int32_t limit = BlueprintLimitOf(entry, path, team);
    const std::u16string name =
        FromUtf8(SettingOr<std::string>(root, settings::kName, ToUtf8(path)));
    body += FormatWide(blueprint_line, UpToNul(name), counts.Blueprint(index), limit,
                       here.Blueprint(index));
    if (CutAtCap(body)) {
      return body;
    }
  }
  const LimitPlan& plan = Limits();
  const std::u16string group_line = MessageTextOr(root, "ShowGroupMsg", blueprint_line);
  for (std::size_t group = 0; group < plan.Groups().size(); ++group) {
    body += FormatWide(group_line, UpToNul(plan.Groups()[group].name), counts.Group(group),
                       plan.GroupLimitOf(group, team), here.Group(group));
    if (CutAtCap(body)) {
      return body;
    }
  }
  body += FormatWide(MessageText(root, "TotalLimitMsg"), counts.Total(), maximum, here.Total());
  CutAtCap(body);
  return body;
}

std::u16string TeamLimitsBody(const Json& root, std::int32_t team) {
  const CountsStanding standing = TeamStanding(team);
  std::u16string body =
      LimitsBody(root, team, standing.counts, standing.here, ShownMaxAmount(root, team));
  if (standing.scope == CountsScope::kThisServerOnly) {
    // Without it a reader would take this server's numbers for the cluster's.
    AddThisServerOnlyLine(body);
  }
  return body;
}

void AddThisServerOnlyLine(std::u16string& body) {
  if (!body.empty() && body.back() != u'\n') {
    body += u'\n';
  }
  body += kThisServerOnlyLine;
}

}  // namespace cairnward
