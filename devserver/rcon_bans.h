#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <string>

namespace devserver::rcon {

// Wrong passwords per client address, as the Source engine's RCON counts
// them: `max_failures` within `window` ban the address for `ban_time`.
// Pure bookkeeping over the times it is given, so that tests need no clock.
class Bans {
 public:
  using Clock = std::chrono::steady_clock;

  Bans(int max_failures, Clock::duration window, Clock::duration ban_time)
      : max_failures_(max_failures), window_(window), ban_time_(ban_time) {}

  // Counts a wrong password from `address`; true when it bans the address.
  bool Fail(const std::string& address, Clock::time_point now);
  // How much longer `address` is banned; zero when it is not.
  [[nodiscard]] Clock::duration Remaining(const std::string& address, Clock::time_point now) const;

  // Addresses kept at most: beyond this, after the ones whose failures and
  // ban are over have been forgotten, a new address is not counted. Keeps
  // memory bounded against a client with very many addresses.
  static constexpr std::size_t kMaxAddresses = 65'536;

 private:
  struct Record {
    std::deque<Clock::time_point> failures;  // within the window, oldest first
    Clock::time_point banned_until{};
  };
  void Forget(Clock::time_point now);

  int max_failures_;
  Clock::duration window_;
  Clock::duration ban_time_;
  std::map<std::string, Record> records_;
};

}  // namespace devserver::rcon
