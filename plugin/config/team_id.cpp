#include "config/team_id.h"

#include <charconv>
#include <system_error>

namespace cairnward {

TeamIdText ReadTeamId(std::string_view text) {
  std::int32_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  const bool whole = !text.empty() && end == text.data() + text.size();
  if (!whole || error != std::errc()) {
    return {.id = std::nullopt, .beyond_32_bits = whole && error == std::errc::result_out_of_range};
  }
  return {.id = id};
}

}  // namespace cairnward
