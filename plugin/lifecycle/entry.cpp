#include <exception>

#include "api/plugin_entry.h"
#include "lifecycle/lifecycle.h"

namespace {

bool Attach() {
  try {
    cairnward::Load();
    return true;
  } catch (...) {
    // Whatever Load registered before it failed must not outlive the library.
    try {
      cairnward::Unload();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the load has failed already
    }
    return false;
  }
}

bool Detach() {
  try {
    cairnward::Unload();
  } catch (...) {  // NOLINT(bugprone-empty-catch): nothing can be reported to a departing host
  }
  return true;
}

}  // namespace

// The library's attach and detach notifications.
CAIRN_PLUGIN_EXPORT bool PluginEntry(int reason) {
  switch (reason) {
    case plugin_entry::kAttach:
      return Attach();
    case plugin_entry::kDetach:
      return Detach();
    default:
      return true;
  }
}

// Exported for the host, which calls it before unloading; all tear-down
// happens at detach.
CAIRN_PLUGIN_EXPORT void Plugin_Unload() {}
