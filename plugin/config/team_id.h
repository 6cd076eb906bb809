#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cairnward {

// A team id written as text, as a member name under "Teams" or a command's
// argument: a whole number in 32 bits, nothing around it. A whole number
// beyond 32 bits is told apart, so that a reply can say why it names no team.
struct TeamIdText {
  std::optional<std::int32_t> id;
  bool beyond_32_bits = false;
};
TeamIdText ReadTeamId(std::string_view text);

}  // namespace cairnward
