#pragma once

#include <cstdint>
#include <vector>

#include "api/game_types.h"
#include "bench_server.h"
#include "standin/game_actions.h"

namespace cairnward::bench {

// Housekeeping between batches of calls, off the clock. A batch of allowed
// placements must stay below the limit they are placed under.
constexpr std::int64_t kBatch = 100;

// A player of one of the world's teams, about to place structures of the
// limited classes, as the game calls the build check on them.
struct Builder {
  standin::SimPlayerController* player = nullptr;
  std::int32_t team = 0;
  APrimalStructure* allowed = nullptr;  // under its limit
  APrimalStructure* refused = nullptr;  // at its limit
  FString allowed_path;
  std::int32_t allowed_count = 0;
  std::int32_t total = 0;
  std::vector<std::int32_t> group_counts;  // of the allowed blueprint's groups
};

Builder MakeBuilder(BenchServer& bench);

// Puts the builder's counts back where the allowed placements found them.
void ResetBuilder(const Builder& b);

using BuildCheck = int (*)(APrimalStructure*, APlayerController*, FVector, FRotator,
                           FPlacementData*, bool, FRotator, bool, void*, void*);

int CallCheck(BuildCheck check, APrimalStructure* structure, const Builder& b, bool final);

}  // namespace cairnward::bench
