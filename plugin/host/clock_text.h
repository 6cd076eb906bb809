#pragma once

#include <chrono>
#include <string>

namespace cairnward {

// A moment as administrators read it in replies: "2026-12-08 20:47:07 UTC".
std::string UtcTimeText(std::chrono::system_clock::time_point moment);

// A span of time to a few figures: "850 us", "3.2 ms", "1.25 s".
std::string DurationText(std::chrono::nanoseconds span);

}  // namespace cairnward
