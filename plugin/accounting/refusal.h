#pragma once

#include <cstdint>

namespace cairnward {

// The limit that refused a placement, as a position of a TeamView (0 the
// total, BlueprintPosition(entry) a ledger entry's, GroupPosition(group) a
// group's), with the team's count there before the placement and the
// team's limit. Positions are what a cluster verdict also knows, so the
// cluster's check can fill it from the field its script stopped at.
struct Refusal {
  std::uint32_t position = 0;
  std::int32_t count = 0;
  std::int32_t limit = 0;
};

}  // namespace cairnward
