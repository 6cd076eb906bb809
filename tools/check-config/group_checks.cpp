#include "group_checks.h"

#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "json_positions.h"
#include "near_miss.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
namespace settings = cairnward::settings;

// Members are matched without regard to case, so only a member that matches
// no key so is a near miss.
void CheckMember(const std::string& member, const Json& structures, const std::string& at,
                 Findings& findings) {
  const std::optional<std::string> near = NearestKey(member, structures, 1);
  if (near && Folded(*near) != Folded(member)) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("is one edit away from {}, a member of \"Structures\": likely a "
                             "typo. As written it names another blueprint, so the group does not "
                             "count that one.",
                             Quoted(*near)));
  }
}

void CheckGroup(const Json& group, const std::string& pointer, const Json& structures,
                Findings& findings) {
  const auto blueprints = group.find(settings::kGroupBlueprints.name);
  if (blueprints == group.end() || !blueprints->is_array()) {
    return;
  }
  const std::string at = pointer + "/" + PointerToken(settings::kGroupBlueprints.name);
  if (blueprints->empty()) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("is empty: {}.", settings::kGroupBlueprints.if_absent));
  }
  for (std::size_t i = 0; i < blueprints->size(); ++i) {
    if ((*blueprints)[i].is_string()) {
      CheckMember((*blueprints)[i].get<std::string>(), structures, at + "/" + std::to_string(i),
                  findings);
    }
  }
}

}  // namespace

void CheckGroups(const Json& root, Findings& findings) {
  const auto groups = root.find(settings::kGroups.name);
  if (groups == root.end() || !groups->is_object()) {
    return;
  }
  static const Json kNoStructures;
  const auto found = root.find(settings::kStructures.name);
  const Json& structures = found != root.end() ? *found : kNoStructures;
  for (const auto& item : groups->items()) {
    if (item.value().is_object()) {
      CheckGroup(item.value(), TablePointer(settings::kGroups) + "/" + PointerToken(item.key()),
                 structures, findings);
    }
  }
}

}  // namespace checkconfig
