#pragma once

#include <cstdint>

#include "host/flat_hash_map.h"

namespace cairnward {

// Whether a team's count is above its limit. A team that owns none is never
// above a limit, whatever its value (a "Count" below 0 too): the rule of a
// recount, which meets only what teams own, and of every change after it.
constexpr bool AboveLimit(std::int32_t count, std::int32_t limit) {
  return count > 0 && count > limit;
}

// Team -> how many of its limits its counts are above. A team with any is
// refused every placement: this is its over-limit flag. The number only
// changes through LimitMarks, one per limit, so it always equals the marks
// set and follows each count change in O(1), whatever kind of limit it is.
class ExceededLimits {
 public:
  [[nodiscard]] bool Flagged(std::int32_t team) const {
    const auto it = numbers_.find(team);
    return it != numbers_.end() && it->second > 0;
  }
  [[nodiscard]] std::int32_t Number(std::int32_t team) const {
    const auto it = numbers_.find(team);
    return it != numbers_.end() ? it->second : 0;
  }
  // Teams with at least one limit exceeded, each with its number.
  [[nodiscard]] const FlatHashMap<std::int32_t, std::int32_t>& Numbers() const { return numbers_; }
  void clear() { numbers_.clear(); }

 private:
  friend class LimitMarks;
  FlatHashMap<std::int32_t, std::int32_t> numbers_;  // only teams above 0
};

// The teams whose count is above one limit (a blueprint's, or any other
// kind's). Whoever changes the count says where it now stands; the team's
// number in ExceededLimits follows.
class LimitMarks {
 public:
  void Set(std::int32_t team, bool above, ExceededLimits& exceeded) {
    if (above == IsSet(team)) {
      return;
    }
    if (above) {
      ++exceeded.numbers_[team];
      marked_[team] = true;
    } else {
      if (--exceeded.numbers_[team] == 0) {
        exceeded.numbers_.erase(team);
      }
      marked_.erase(team);
    }
  }
  [[nodiscard]] bool IsSet(std::int32_t team) const { return marked_.count(team) != 0; }

 private:
  FlatHashMap<std::int32_t, bool> marked_;  // only the teams above
};

}  // namespace cairnward
