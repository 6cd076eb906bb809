#pragma once

#include <string_view>

#include "api/fstring.h"

namespace cairnward {

// The words after a console or RCON command's name, up to the first NUL and
// without the blanks around them; empty when there are none.
std::u16string_view ArgumentOf(const FString* command);

}  // namespace cairnward
