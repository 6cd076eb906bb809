#pragma once

#include <cstdint>
#include <string>

#include "config/json_access.h"

namespace cairnward {

// The name messages give the limit at a position of a TeamView: a
// blueprint's "Name" (its path when it has none), a group's "Name", or
// "Messages" -> "TotalName" for the total. Shown as written, never as a
// template. Fails with the JSON library's error.
std::u16string LimitNameAt(const Json& root, std::uint32_t position);

}  // namespace cairnward
