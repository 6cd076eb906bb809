#pragma once

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

namespace checkconfig {

// The members of each group: a group with none, and a member that is a slip
// of the keyboard away from a blueprint under "Structures".
void CheckGroups(const cairnward::Json& root, Findings& findings);

}  // namespace checkconfig
