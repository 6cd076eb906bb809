#pragma once

#include <cstdint>
#include <string>

#include "config/json_access.h"

namespace cairnward {

// The body of a team's limits reply, as show-limits and cairnward.limits
// send it: one line per configured blueprint in ledger order, one per group
// in the order of the file, then the total, each against the team's own
// limits. Fails with the JSON library's or the formatter's error.
std::u16string LimitsBody(const Json& root, std::int32_t team, std::int32_t total,
                          std::int32_t maximum);

// The team's total limit as the reply shows it: its own under "Teams", else
// "General" -> "MaxAmount", which is then required.
std::int32_t ShownMaxAmount(const Json& root, std::int32_t team);

}  // namespace cairnward
