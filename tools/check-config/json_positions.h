#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "config/json_access.h"

namespace checkconfig {

// A member name as one token of a JSON pointer, as the plug-in writes it.
using cairnward::PointerToken;

// A member given twice in one object; the JSON library keeps the last.
struct DuplicateMember {
  std::string pointer;
  std::size_t first_offset = 0;
  std::size_t last_offset = 0;
};

// Where things stand in a config.json's text. Offsets are bytes from the
// start of the text.
struct SourceMap {
  // JSON pointer of each member -> offset of its name's opening quote (of
  // the last one, for a member given twice).
  std::map<std::string, std::size_t> members;
  std::vector<DuplicateMember> duplicates;
  std::size_t root_offset = 0;
  // The member or element being read when the parser failed, as deep as
  // the map goes, and where it failed.
  std::string failure_pointer;
  std::size_t failure_offset = 0;
};

// Reads the text with the JSON library's own parser, noting where each
// member is down to `depth` levels (1: the top level's members); deeper
// ones are parsed but not noted, so a deeply nested text costs no more
// than its parse. Text that is not JSON is mapped up to where it fails.
SourceMap MapSource(std::string_view text, std::size_t depth);

struct LineColumn {
  std::size_t line = 1;
  std::size_t column = 1;  // in characters, not bytes
};

LineColumn PositionOf(std::string_view text, std::size_t offset);

// Positions of offsets taken in ascending order, each counted on from the
// one before, so that many of them cost one pass over the text.
class PositionCursor {
 public:
  explicit PositionCursor(std::string_view text) : text_(text) {}
  LineColumn At(std::size_t offset);

 private:
  std::string_view text_;
  std::size_t offset_ = 0;
  LineColumn position_;
};

}  // namespace checkconfig
