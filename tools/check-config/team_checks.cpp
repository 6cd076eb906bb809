#include "team_checks.h"

#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "config/team_id.h"
#include "json_positions.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
namespace settings = cairnward::settings;

}  // namespace

void CheckTeamKey(const std::string& name, const std::string& at, Findings& findings) {
  // The team it names, read as the plug-in reads it.
  const cairnward::TeamIdText key = cairnward::ReadTeamId(name);
  if (key.beyond_32_bits) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("is out of range for a team id (a whole number from {} to {}), so it "
                             "names no team and the plug-in ignores it.",
                             std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max()));
  } else if (!key.id) {
    findings.Add(Severity::kWarning, at,
                 "is not a team id (a whole number such as 1234567890), so it names no team and "
                 "the plug-in ignores it.");
  } else if (*key.id <= cairnward::kHighestUncountedTeam) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("names team {}, but teams up to {} are never counted, so it limits "
                             "nothing.",
                             *key.id, cairnward::kHighestUncountedTeam));
  }
}

// The plug-in reads the members in byte order, and the last one that names
// a team is the one it keeps.
void CheckTeamIds(const Json& root, Findings& findings) {
  const auto teams = root.find(settings::kTeams.name);
  if (teams == root.end() || !teams->is_object()) {
    return;
  }
  std::map<std::int32_t, std::vector<std::string>> names_by_team;
  for (const auto& item : teams->items()) {
    if (const auto id = cairnward::ReadTeamId(item.key()).id) {
      names_by_team[*id].push_back(item.key());
    }
  }
  for (const auto& [team, names] : names_by_team) {
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
      findings.Add(Severity::kWarning,
                   TablePointer(settings::kTeams) + "/" + PointerToken(names[i]),
                   fmt::format("names team {}, as {} does: the plug-in keeps the limits of {} "
                               "(the last of them in byte order) and ignores this one.",
                               team, Quoted(names.back()), Quoted(names.back())));
    }
  }
}

}  // namespace checkconfig
