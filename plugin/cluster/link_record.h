#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace cairnward {

// What cairnward.status tells of a link: whether it is up, since when, why
// it went down, and how long its recent round trips took. Safe to use from
// any thread.
class LinkRecord {
 public:
  struct Snapshot {
    bool up = false;
    std::chrono::system_clock::time_point since;  // of the state it is in
    std::string reason;                           // why it went down
    std::size_t round_trips = 0;                  // within the window
    std::chrono::nanoseconds p50{0};
    std::chrono::nanoseconds p99{0};
  };

  void MarkUp();
  void MarkDown(std::string reason);
  // One exchange with Redis: the commands sent and their replies read.
  void AddRoundTrip(std::chrono::nanoseconds took);
  // The state, and the percentiles of the round trips that ended within the
  // window before now (at most the last kKept of them).
  [[nodiscard]] Snapshot Take(std::chrono::seconds window = std::chrono::seconds(60));

  static constexpr std::size_t kKept = 512;

 private:
  struct RoundTrip {
    std::chrono::steady_clock::time_point ended;
    std::chrono::nanoseconds took;
  };

  std::mutex mutex_;
  bool up_ = false;
  std::chrono::system_clock::time_point since_ = std::chrono::system_clock::now();
  std::string reason_ = "not connected yet";
  std::array<RoundTrip, kKept> ring_{};
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
};

}  // namespace cairnward
