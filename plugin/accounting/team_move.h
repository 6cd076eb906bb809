#pragma once

#include <cstdint>
#include <functional>

#include "config/debug_trace.h"

namespace cairnward {

// Writes the trace lines of one ledger entry of a move: before and after
// the entry's count of `moved` structures changes hands.
using MoveTrace = std::function<void(const TraceLines&, std::int32_t moved, bool after)>;

// Moves every count of team `from` to team `to`: totals add up, nothing is
// replaced. Every limit the move needs is read before the first count
// changes, so a move that fails (a "Count" of the wrong type) leaves every
// count as it was.
void MoveTeamCounts(std::int32_t from, std::int32_t to, const MoveTrace& per_entry);

}  // namespace cairnward
