#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "config/json_access.h"
#include "config/settings.h"

namespace cairnward {

// The library's own text without its "[json.exception....] " lead.
std::string_view JsonReason(const Json::exception& e);

// Where a member read with the file lives: as the errors name it,
// "\"Groups\" -> \"Turrets\"", and as a JSON pointer, "/Groups/Turrets".
struct Place {
  std::string text;
  std::string pointer;
};
Place PlaceOf(std::initializer_list<std::string_view> names);

// Runs a read; its failure names the member it was reading, and notes it.
template <typename Read>
auto ReadAt(const Place& where, Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const Json::out_of_range& e) {
    NoteFailedMember(where.pointer);
    throw Json::out_of_range::create(e.id, fmt::format("{}: {}", where.text, JsonReason(e)),
                                     nullptr);
  } catch (const Json::exception& e) {
    NoteFailedMember(where.pointer);
    throw Json::type_error::create(e.id, fmt::format("{}: {}", where.text, JsonReason(e)), nullptr);
  }
}

// A member object that may be absent (null); anything else but an object fails.
const Json& ObjectOf(const Json& parent, std::string_view name, const Place& where);

// An integer setting that must lie within its `lowest` and `highest`: out of
// them it fails with the JSON library's out_of_range error.
std::int32_t ReadInRange(const Json& value, const Setting& setting);

// A text setting; with `lowest` 1 an empty text fails as out of range.
std::string ReadText(const Json& value, const Setting& setting);

}  // namespace cairnward
