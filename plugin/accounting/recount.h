#pragma once

#include <chrono>
#include <optional>

namespace cairnward {

// Rebuilds every count from the configuration and the world: one ledger
// entry per "Structures" member, then one visit per actor of the persistent
// level. Structures of teams up to 1000 are not counted; a team whose count
// of a blueprint is above that blueprint's limit is flagged. A recount that
// fails leaves the counts as they were.
void UpdateStructureCountAll();

// The last recount that completed: when it started and how long it took.
struct RecountRecord {
  std::chrono::system_clock::time_point started;
  std::chrono::nanoseconds took{0};
};
const std::optional<RecountRecord>& LastRecount();

}  // namespace cairnward
