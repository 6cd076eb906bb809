#pragma once

#include <string_view>

#include "api/fstring.h"

namespace cairnward {

// The text under "Messages" -> key, or "No message" when the key is absent.
FString LookupMessage(std::string_view key);

}  // namespace cairnward
