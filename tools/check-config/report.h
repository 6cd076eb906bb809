#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check.h"

namespace checkconfig {

// One line per problem, "FILE:LINE:COLUMN: SEVERITY: message", as compilers
// write them, then a line of totals.
std::string TextReport(const std::string& file, const std::vector<Problem>& problems);

// {"file", "errors", "warnings", "problems": [{"severity", "pointer",
// "line", "column", "message"}]}; "line" and "column" only where known.
nlohmann::json JsonReport(const std::string& file, const std::vector<Problem>& problems);

// 0: the plug-in runs with the file without a config error (with `strict`:
// and there are no warnings either); 1: otherwise.
int ExitStatus(const std::vector<Problem>& problems, bool strict);

}  // namespace checkconfig
