#pragma once

#include <algorithm>
#include <chrono>
#include <random>

namespace cairnward {

// The waits between tries of background work that failed: the first is the
// base, each failure doubles it up to 8 times the base, and each wait loses
// a random share of up to half, so that hundreds of grids that failed
// together (an emptied or restarted Redis) do not come back together.
class Backoff {
 public:
  explicit Backoff(std::chrono::milliseconds base) : base_(base), next_(base) {}

  std::chrono::milliseconds Next() {
    const std::chrono::milliseconds full = next_;
    next_ = std::min(next_ * 2, base_ * 8);
    std::uniform_int_distribution<std::chrono::milliseconds::rep> share(full.count() / 2,
                                                                        full.count());
    return std::chrono::milliseconds(share(random_));
  }
  void Reset() { next_ = base_; }

 private:
  std::chrono::milliseconds base_;
  std::chrono::milliseconds next_;
  std::mt19937 random_{std::random_device{}()};
};

}  // namespace cairnward
