#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "accounting/limit_rules.h"
#include "accounting/team_view.h"
#include "cluster/script_calls.h"

namespace cairnward {

// How a team's view stands in Redis: position 0 is the field "total", each
// ledger entry's position "b:<path>", each group's "g:<group key>". Servers
// with other configurations share the fields they have in common; a field
// this server does not count is left out of its views.
class FieldLayout {
 public:
  // Follows the ledger and the groups as they are now; true when the fields
  // changed, so that limits published for the old ones are out of date.
  bool Refresh();

  [[nodiscard]] const std::vector<std::string>& Fields() const { return fields_; }
  // The position of a field of this server's views; none for another's.
  [[nodiscard]] std::optional<std::uint32_t> PositionOf(std::string_view field) const;

 private:
  struct FieldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view field) const noexcept {
      return std::hash<std::string_view>{}(field);
    }
  };

  std::vector<std::string> fields_;
  std::unordered_map<std::string, std::uint32_t, FieldHash, std::equal_to<>> positions_;
  std::uint64_t generation_ = 0;
  std::size_t ledger_size_ = 0;
};

}  // namespace cairnward
