#include "cluster/link_record.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace cairnward {
namespace {

// The value below which `share` of the sorted durations lie.
std::chrono::nanoseconds Percentile(std::vector<std::chrono::nanoseconds>& took, double share) {
  const auto at =
      static_cast<std::size_t>(std::lround(share * static_cast<double>(took.size() - 1)));
  std::nth_element(took.begin(), took.begin() + static_cast<std::ptrdiff_t>(at), took.end());
  return took[at];
}

}  // namespace

void LinkRecord::MarkUp() {
  const std::lock_guard lock(mutex_);
  if (!up_) {
    up_ = true;
    since_ = std::chrono::system_clock::now();
    reason_.clear();
  }
}

void LinkRecord::MarkDown(std::string reason) {
  const std::lock_guard lock(mutex_);
  if (up_) {
    up_ = false;
    since_ = std::chrono::system_clock::now();
  }
  reason_ = std::move(reason);
}

void LinkRecord::AddRoundTrip(std::chrono::nanoseconds took) {
  const std::lock_guard lock(mutex_);
  ring_[next_] = {std::chrono::steady_clock::now(), took};
  next_ = (next_ + 1) % kKept;
  filled_ = std::min(filled_ + 1, kKept);
}

LinkRecord::Snapshot LinkRecord::Take(std::chrono::seconds window) {
  const std::lock_guard lock(mutex_);
  Snapshot snapshot{up_, since_, reason_};
  const auto from = std::chrono::steady_clock::now() - window;
  std::vector<std::chrono::nanoseconds> took;
  took.reserve(filled_);
  for (std::size_t i = 0; i < filled_; ++i) {
    if (ring_[i].ended >= from) {
      took.push_back(ring_[i].took);
    }
  }
  snapshot.round_trips = took.size();
  if (!took.empty()) {
    snapshot.p50 = Percentile(took, 0.50);
    snapshot.p99 = Percentile(took, 0.99);
  }
  return snapshot;
}

}  // namespace cairnward
