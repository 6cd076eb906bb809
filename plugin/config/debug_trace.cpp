#include "config/debug_trace.h"

#include <cstdio>

#include "config/config.h"

namespace cairnward {

bool DebugTraceOn() {
  return ValueOr(PluginConfig(), "Debug", false);
}

void WriteTraceLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace cairnward
