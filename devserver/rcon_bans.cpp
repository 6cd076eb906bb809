#include "rcon_bans.h"

#include <iterator>

namespace devserver::rcon {

bool Bans::Fail(const std::string& address, Clock::time_point now) {
  auto found = records_.find(address);
  if (found == records_.end()) {
    if (records_.size() >= kMaxAddresses) {
      Forget(now);
      if (records_.size() >= kMaxAddresses) {
        return false;
      }
    }
    found = records_.emplace(address, Record{}).first;
  }
  Record& record = found->second;
  while (!record.failures.empty() && now - record.failures.front() >= window_) {
    record.failures.pop_front();
  }
  record.failures.push_back(now);
  if (static_cast<int>(record.failures.size()) < max_failures_) {
    return false;
  }
  record.failures.clear();
  record.banned_until = now + ban_time_;
  return true;
}

Bans::Clock::duration Bans::Remaining(const std::string& address, Clock::time_point now) const {
  const auto found = records_.find(address);
  if (found == records_.end() || found->second.banned_until <= now) {
    return Clock::duration::zero();
  }
  return found->second.banned_until - now;
}

void Bans::Forget(Clock::time_point now) {
  for (auto it = records_.begin(); it != records_.end();) {
    const Record& record = it->second;
    const bool counting = !record.failures.empty() && now - record.failures.back() < window_;
    it = counting || record.banned_until > now ? std::next(it) : records_.erase(it);
  }
}

}  // namespace devserver::rcon
