#pragma once

#include "api/export.h"

// How the host delivers the library's attach and detach notifications: after
// loading the library it calls the exported entry routine with kAttach, and
// before releasing it with kDetach. A false answer to kAttach is a failed load.
namespace plugin_entry {

enum Reason : int { kDetach = 0, kAttach = 1, kThreadAttach = 2, kThreadDetach = 3 };

inline constexpr const char* kSymbol = "PluginEntry";
using EntryFn = bool (*)(int reason);

inline constexpr const char* kUnloadSymbol = "Plugin_Unload";

}  // namespace plugin_entry
