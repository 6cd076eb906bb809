#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace cairnward {

using Json = nlohmann::json;

// The two ways the plug-in reads its configuration. Neither ever changes the
// document: a missing member reads as absent (or null), never inserted.

// With a default: the parent must be an object; a missing member gives the
// default. A parent of any other type, null included, fails with the JSON
// library's error 306 ("cannot use value() with ...").
const Json* FindMember(const Json& parent, std::string_view key);

// Required: a null parent counts as an empty object and a missing member reads
// as null, so that reading a number or a string from it fails with the JSON
// library's error 302. A parent that is neither object nor null fails with 305.
const Json& Required(const Json& parent, std::string_view key);

// Typed reads with the JSON library's errors for the wrong type. Integers are
// 32-bit with a fraction truncated toward zero; values beyond the range of the
// target type are clamped to it; booleans read as 1 and 0.
template <typename T>
T Read(const Json& value);

template <>
std::int32_t Read<std::int32_t>(const Json& value);
template <>
float Read<float>(const Json& value);
template <>
bool Read<bool>(const Json& value);
template <>
std::string Read<std::string>(const Json& value);
template <>
std::vector<std::string> Read<std::vector<std::string>>(const Json& value);

template <typename T>
T ValueOr(const Json& parent, std::string_view key, T fallback) {
  const Json* member = FindMember(parent, key);
  return member != nullptr ? Read<T>(*member) : fallback;
}

inline std::string ValueOr(const Json& parent, std::string_view key, const char* fallback) {
  return ValueOr<std::string>(parent, key, std::string(fallback));
}

template <typename T>
T RequiredValue(const Json& parent, std::string_view key) {
  return Read<T>(Required(parent, key));
}

// A member with an object default: the member itself, or an empty object.
const Json& MemberOrEmpty(const Json& parent, std::string_view key);

// The member whose read failed first since ForgetFailedMember, as a JSON
// pointer, for the errors an administrator reads: the typed reads of the
// settings table and ReadAt note it when they fail; empty when none did.
void NoteFailedMember(std::string pointer);
void ForgetFailedMember();
const std::string& FailedMember();

// A member name as one token of a JSON pointer: "~" as "~0", "/" as "~1".
std::string PointerToken(std::string_view name);

}  // namespace cairnward
