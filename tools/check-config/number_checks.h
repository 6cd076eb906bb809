#pragma once

#include <string>
#include <string_view>

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

// Numbers as the plug-in reads them: what it makes of a fraction, a boolean
// or a value out of range, and limits that refuse everything.
namespace checkconfig {

// A whole-number setting at `at`. `text` is the file, whose load fails for a
// setting read with it that is out of its range.
void CheckInteger(const cairnward::Setting& setting, const cairnward::Json& value,
                  const std::string& at, std::string_view text, Findings& findings);

// A number setting at `at`.
void CheckNumber(const cairnward::Setting& setting, const cairnward::Json& value,
                 const std::string& at, Findings& findings);

}  // namespace checkconfig
