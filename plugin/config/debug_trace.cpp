#include "config/debug_trace.h"

#include <cstdio>

#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"

namespace cairnward {

bool DebugTraceOn() {
  return SettingOr<bool>(PluginConfig(), settings::kDebug);
}

void WriteTraceLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void TraceBanner(std::string_view title) {
  TraceLines().Banner(title);
}

void TraceFramed(std::string_view text) {
  TraceLines().Framed(text);
}

void TraceLines::Banner(std::string_view title) const {
  if (!on_) {
    return;
  }
  for (const std::string_view line :
       {kTraceOpeningRule, std::string_view("|"), std::string_view("|"), title,
        std::string_view("|"), std::string_view("|"), kTraceClosingRule}) {
    WriteTraceLine(line);
  }
}

void TraceLines::Framed(std::string_view text) const {
  if (!on_) {
    return;
  }
  WriteTraceLine("|");
  WriteTraceLine(text);
  WriteTraceLine("|");
}

}  // namespace cairnward
