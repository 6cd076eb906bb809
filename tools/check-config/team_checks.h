#pragma once

#include <string>

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

namespace checkconfig {

// A member of "Teams" at `at`: a name that is no team id, or the id of a team
// that is never counted.
void CheckTeamKey(const std::string& name, const std::string& at, Findings& findings);

// Members of "Teams" that name one team ("05001" and "5001").
void CheckTeamIds(const cairnward::Json& root, Findings& findings);

}  // namespace checkconfig
