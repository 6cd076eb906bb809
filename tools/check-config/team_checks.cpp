#include "team_checks.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "accounting/ledger.h"
#include "json_positions.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
namespace settings = cairnward::settings;

// The team a member of "Teams" names, read as the plug-in reads it.
std::optional<std::int32_t> TeamIdOf(const std::string& name) {
  std::int32_t id = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
  if (name.empty() || error != std::errc() || end != name.data() + name.size()) {
    return std::nullopt;
  }
  return id;
}

}  // namespace

void CheckTeamKey(const std::string& name, const std::string& at, Findings& findings) {
  const std::optional<std::int32_t> id = TeamIdOf(name);
  if (!id) {
    findings.Add(Severity::kWarning, at,
                 "is not a team id (a whole number such as 1234567890), so it names no team and "
                 "the plug-in ignores it.");
  } else if (*id <= cairnward::kHighestUncountedTeam) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("names team {}, but teams up to {} are never counted, so it limits "
                             "nothing.",
                             *id, cairnward::kHighestUncountedTeam));
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
    if (const auto id = TeamIdOf(item.key())) {
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
