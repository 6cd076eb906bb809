#include "host/clock_text.h"

#include <ctime>

#include <fmt/chrono.h>
#include <fmt/format.h>

namespace cairnward {

std::string UtcTimeText(std::chrono::system_clock::time_point moment) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
  return fmt::format("{:%Y-%m-%d %H:%M:%S} UTC", fmt::gmtime(seconds));
}

std::string DurationText(std::chrono::nanoseconds span) {
  const auto nanoseconds = static_cast<double>(span.count());
  if (nanoseconds < 1e6) {
    return fmt::format("{:.0f} us", nanoseconds / 1e3);
  }
  if (nanoseconds < 1e9) {
    return fmt::format("{:.1f} ms", nanoseconds / 1e6);
  }
  return fmt::format("{:.2f} s", nanoseconds / 1e9);
}

}  // namespace cairnward
