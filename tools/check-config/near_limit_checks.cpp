#include "near_limit_checks.h"

#include <fmt/format.h>

#include "wording.h"

namespace checkconfig {

void CheckNearLimitText(const cairnward::Json& root, Findings& findings) {
  namespace settings = cairnward::settings;
  const auto general = root.find(settings::kGeneral.name);
  if (general == root.end() || !general->is_object() ||
      !general->contains(settings::kWarnAtPercent.name)) {
    return;
  }
  const auto messages = root.find(settings::kMessages.name);
  if (messages != root.end() && messages->is_object() &&
      messages->contains(settings::kNearLimitMsg.name)) {
    return;
  }
  findings.Add(Severity::kWarning, TablePointer(settings::kWarnAtPercent),
               fmt::format("is given without {}: {} when warned near a limit.",
                           TablePointer(settings::kNearLimitMsg), settings::kShownNoMessage));
}

}  // namespace checkconfig
