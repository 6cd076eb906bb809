#pragma once

#include <cstdint>
#include <string>

#include "config/json_access.h"

namespace cairnward {

// The name messages give the limit at a position of a TeamView: a
// blueprint's "Name" ("" when it has none, as "NearLimitMsg" has always
// shown it), a group's "Name", or "Messages" -> "TotalName" for the total.
// Shown as written, never as a template. Fails with the JSON library's error.
std::u16string LimitNameAt(const Json& root, std::uint32_t position);

// The same with a blueprint's path where its "Name" is absent or empty, so
// that no line names nothing: for the texts that came after that one.
std::u16string LimitNameOrPathAt(const Json& root, std::uint32_t position);

}  // namespace cairnward
