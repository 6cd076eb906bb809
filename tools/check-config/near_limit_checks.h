#pragma once

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

namespace checkconfig {

// "WarnAtPercent" given without the text of its warning.
void CheckNearLimitText(const cairnward::Json& root, Findings& findings);

}  // namespace checkconfig
