#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "json_positions.h"

namespace checkconfig {

// The problems found in one text, each kept at an offset of it and told in
// the order of the text.
class Findings {
 public:
  Findings(std::string_view text, const SourceMap& map) : text_(text), map_(map) {}

  void AddAt(Severity severity, const std::string& pointer, std::size_t offset,
             std::string message);

  // A problem of one member, told with the member as its subject, at the
  // member's place.
  void Add(Severity severity, const std::string& pointer, std::string_view predicate);

  // A member's own place, or its nearest ancestor's when it is missing (or
  // deeper than the map goes).
  [[nodiscard]] std::size_t OffsetOf(std::string pointer) const;

  // Every problem, in the order of the text, with its line and column.
  std::vector<Problem> Sorted();

 private:
  struct Found {
    Problem problem;
    std::size_t offset = 0;
  };

  std::string_view text_;
  const SourceMap& map_;
  std::vector<Found> found_;
};

}  // namespace checkconfig
