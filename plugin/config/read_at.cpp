#include "config/read_at.h"

#include <limits>

namespace cairnward {

std::string_view JsonReason(const Json::exception& e) {
  std::string_view what = e.what();
  const std::size_t end = what.find("] ");
  return end == std::string_view::npos ? what : what.substr(end + 2);
}

Place PlaceOf(std::initializer_list<std::string_view> names) {
  Place where;
  for (const std::string_view name : names) {
    where.text += fmt::format("{}\"{}\"", where.text.empty() ? "" : " -> ", name);
    where.pointer += "/" + PointerToken(name);
  }
  return where;
}

const Json& ObjectOf(const Json& parent, std::string_view name, const Place& where) {
  return ReadAt(where, [&]() -> const Json& {
    const Json& member = Required(parent, name);
    if (!member.is_null() && !member.is_object()) {
      throw Json::type_error::create(
          302, std::string("type must be object, but is ") + member.type_name(), nullptr);
    }
    return member;
  });
}

std::int32_t ReadInRange(const Json& value, const Setting& setting) {
  const auto read = Read<std::int32_t>(value);
  if (read < setting.lowest || read > setting.highest) {
    throw Json::out_of_range::create(
        406,
        setting.highest == std::numeric_limits<std::int32_t>::max()
            ? fmt::format("{} is not a whole number of at least {}", value.dump(), setting.lowest)
            : fmt::format("{} is not a whole number from {} to {}", value.dump(), setting.lowest,
                          setting.highest),
        nullptr);
  }
  return read;
}

std::string ReadText(const Json& value, const Setting& setting) {
  std::string text = Read<std::string>(value);
  if (text.empty() && setting.lowest > 0) {
    throw Json::out_of_range::create(406, "must not be empty", nullptr);
  }
  return text;
}

}  // namespace cairnward
