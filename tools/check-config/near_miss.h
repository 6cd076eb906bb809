#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "config/json_access.h"
#include "config/settings.h"

// Names that are nearly right: misspelt members and group members.
namespace checkconfig {

// The number of edits (a character inserted, deleted or replaced, or two
// neighbours swapped) that turn `a` into `b`, when it is at most `limit`;
// nothing when it is more. Stops as soon as every way is past the limit.
std::optional<std::size_t> EditDistanceWithin(std::string_view a, std::string_view b,
                                              std::size_t limit);

// The edits a slip of the keyboard makes in a name this long: none in a
// name of two letters, one up to seven, two beyond.
std::size_t TypoAllowance(std::string_view name);

// The member of `object` nearest to `name` within `limit` edits, letter case
// aside (the first of equals); nothing when `object` is no object or none is
// that near.
std::optional<std::string> NearestKey(std::string_view name, const cairnward::Json& object,
                                      std::size_t limit);

// The end of the warning about a member that the object `self` (null: the
// top level) does not know: the setting it likely means, "" when none is
// near. Names the same object knows come first, several objects having a
// "Count"; a difference in letter case alone comes before any other.
std::string SuggestionFor(const cairnward::Setting* self, std::string_view name);

}  // namespace checkconfig
