#include "hooks/hook_guard.h"

#include "host/logger.h"

namespace cairnward {

void LogHookFailure(std::string_view hook, std::string_view what) noexcept {
  try {
    Log().error("{}: {}", hook, what);
  } catch (...) {  // NOLINT(bugprone-empty-catch): logging is all a failing hook can still do
  }
}

}  // namespace cairnward
