#pragma once

#include <string>

namespace cairnward {

// The Lua sources of the scripts that count a placement and a change of a
// team's counts (see Script::kPlace and Script::kChange).
std::string PlaceScriptSource();
std::string ChangeScriptSource();

}  // namespace cairnward
