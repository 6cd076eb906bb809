#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_positions.h"

namespace checkconfig {

// An error: the plug-in fails with this file, at load or later (a hook, a
// command). A warning: it runs, but not as the file seems to mean.
enum class Severity { kWarning, kError };

struct Problem {
  Severity severity = Severity::kError;
  std::string pointer;                 // JSON pointer; "" is the whole file
  std::optional<LineColumn> position;  // where the text is known
  std::string message;
};

// Every problem that the plug-in would meet with a config.json of this
// text, in the order of the text.
std::vector<Problem> CheckConfigText(std::string_view text);

// The same for a file; one that cannot be read is one error.
std::vector<Problem> CheckConfigFile(const std::filesystem::path& path);

}  // namespace checkconfig
