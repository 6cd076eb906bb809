#include "config/json_access.h"

#include <cmath>
#include <limits>

namespace cairnward {
namespace {

const Json& NullJson() {
  static const Json null_value;
  return null_value;
}

const Json& EmptyObject() {
  static const Json empty = Json::object();
  return empty;
}

template <typename T>
T Clamped(double value) {
  constexpr auto low = static_cast<double>(std::numeric_limits<T>::lowest());
  constexpr auto high = static_cast<double>(std::numeric_limits<T>::max());
  return static_cast<T>(value < low ? low : (value > high ? high : value));
}

}  // namespace

const Json* FindMember(const Json& parent, std::string_view key) {
  if (!parent.is_object()) {
    throw Json::type_error::create(
        306, std::string("cannot use value() with ") + parent.type_name(), &parent);
  }
  const auto it = parent.find(key);
  return it != parent.end() ? &*it : nullptr;
}

const Json& Required(const Json& parent, std::string_view key) {
  if (parent.is_null()) {
    return NullJson();
  }
  if (!parent.is_object()) {
    throw Json::type_error::create(
        305, std::string("cannot use operator[] with a string argument with ") + parent.type_name(),
        &parent);
  }
  const auto it = parent.find(key);
  return it != parent.end() ? *it : NullJson();
}

const Json& MemberOrEmpty(const Json& parent, std::string_view key) {
  const Json* member = FindMember(parent, key);
  return member != nullptr ? *member : EmptyObject();
}

template <>
std::int32_t Read<std::int32_t>(const Json& value) {
  if (value.is_number_float()) {
    return Clamped<std::int32_t>(std::trunc(value.get<double>()));
  }
  if (value.is_number_unsigned()) {
    const auto n = value.get<std::uint64_t>();
    return n > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(n);
  }
  if (value.is_number_integer()) {
    return Clamped<std::int32_t>(static_cast<double>(value.get<std::int64_t>()));
  }
  return value.get<std::int32_t>();
}

template <>
float Read<float>(const Json& value) {
  if (value.is_number()) {
    return Clamped<float>(value.get<double>());
  }
  return value.get<float>();
}

template <>
bool Read<bool>(const Json& value) {
  return value.get<bool>();
}

template <>
std::string Read<std::string>(const Json& value) {
  return value.get<std::string>();
}

template <>
std::vector<std::string> Read<std::vector<std::string>>(const Json& value) {
  if (!value.is_array()) {
    throw Json::type_error::create(
        302, std::string("type must be array, but is ") + value.type_name(), &value);
  }
  std::vector<std::string> texts;
  texts.reserve(value.size());
  for (const Json& item : value) {
    texts.push_back(item.get<std::string>());
  }
  return texts;
}

namespace {
std::string& FailedMemberSlot() {
  static std::string pointer;
  return pointer;
}
}  // namespace

void NoteFailedMember(std::string pointer) {
  // The innermost read fails first; the reads around it only pass it on.
  if (FailedMemberSlot().empty()) {
    FailedMemberSlot() = std::move(pointer);
  }
}

void ForgetFailedMember() {
  FailedMemberSlot().clear();
}

const std::string& FailedMember() {
  return FailedMemberSlot();
}

std::string PointerToken(std::string_view name) {
  std::string token;
  token.reserve(name.size());
  for (const char c : name) {
    if (c == '~') {
      token += "~0";
    } else if (c == '/') {
      token += "~1";
    } else {
      token += c;
    }
  }
  return token;
}

}  // namespace cairnward
