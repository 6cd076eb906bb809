#include "json_positions.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <sstream>

#include <nlohmann/json.hpp>

namespace checkconfig {
namespace {

using Json = nlohmann::json;

// The library's error for a number beyond the range of a double.
constexpr int kNumberOutOfRange = 406;

// Where the parser is in an object or an array.
struct Frame {
  bool array = false;
  std::string key;
  std::int64_t index = -1;
  std::map<std::string, std::size_t> seen;  // member name -> offset
};

// Follows the library's parse through its SAX interface. The lexer reads
// the text one byte at a time from the stream, so the stream's position
// tells where the parse stands when a callback arrives.
class Mapper {
 public:
  Mapper(std::string_view text, std::stringbuf& buffer, SourceMap& map, std::size_t depth)
      : text_(text), buffer_(buffer), map_(map), depth_(depth) {}

  bool null() { return Value(); }
  bool boolean(bool /*value*/) { return Value(); }
  bool number_integer(Json::number_integer_t /*value*/) { return Value(); }
  bool number_unsigned(Json::number_unsigned_t /*value*/) { return Value(); }
  bool number_float(Json::number_float_t /*value*/, const std::string& /*text*/) { return Value(); }
  bool string(std::string& /*value*/) { return Value(); }
  bool binary(Json::binary_t& /*value*/) { return Value(); }

  bool start_object(std::size_t /*size*/) {
    Value();
    frames_.push_back(Frame{});
    return true;
  }
  bool end_object() {
    frames_.pop_back();
    return true;
  }
  bool start_array(std::size_t /*size*/) {
    Value();
    Frame frame;
    frame.array = true;
    frames_.push_back(std::move(frame));
    return true;
  }
  bool end_array() {
    frames_.pop_back();
    return true;
  }

  bool key(std::string& name) {
    if (frames_.size() > depth_) {
      return true;
    }
    Frame& frame = frames_.back();
    frame.key = name;
    const std::size_t offset = OpeningQuote(Consumed());
    const std::string pointer = Pointer();
    const auto [it, fresh] = frame.seen.try_emplace(name, offset);
    if (!fresh) {
      map_.duplicates.push_back(
          DuplicateMember{.pointer = pointer, .first_offset = it->second, .last_offset = offset});
    }
    map_.members[pointer] = offset;
    return true;
  }

  bool parse_error(std::size_t position, const std::string& last_token,
                   const nlohmann::detail::exception& error) {
    map_.failure_pointer = Pointer();
    // The library counts the bytes it read, the failing one included; a
    // number out of range fails once it is read whole.
    const std::size_t back = error.id == kNumberOutOfRange ? last_token.size() : 1;
    map_.failure_offset = position >= back ? position - back : 0;
    return false;
  }

 private:
  bool Value() {
    if (!frames_.empty() && frames_.back().array) {
      ++frames_.back().index;
    }
    return true;
  }

  std::size_t Consumed() const {
    return static_cast<std::size_t>(buffer_.pubseekoff(0, std::ios::cur, std::ios::in));
  }

  // The name's opening quote, searched back from just after its closing
  // one: the first quote that no backslash escapes.
  std::size_t OpeningQuote(std::size_t end) const {
    std::size_t i = end > 0 ? end - 1 : 0;
    while (i > 0) {
      --i;
      if (text_[i] != '"') {
        continue;
      }
      std::size_t backslashes = 0;
      while (backslashes < i && text_[i - 1 - backslashes] == '\\') {
        ++backslashes;
      }
      if (backslashes % 2 == 0) {
        return i;
      }
    }
    return 0;
  }

  std::string Pointer() const {
    std::string pointer;
    const std::size_t shown = std::min(frames_.size(), depth_);
    for (const Frame& frame : std::span(frames_).first(shown)) {
      if (frame.array) {
        pointer += "/" + std::to_string(std::max<std::int64_t>(frame.index, 0));
      } else {
        pointer += "/" + PointerToken(frame.key);
      }
    }
    return pointer;
  }

  std::string_view text_;
  std::stringbuf& buffer_;
  SourceMap& map_;
  std::size_t depth_;
  std::vector<Frame> frames_;
};

std::size_t FirstValueOffset(std::string_view text) {
  std::size_t offset = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (offset < text.size() &&
         std::string_view(" \t\r\n").find(text[offset]) != std::string_view::npos) {
    ++offset;
  }
  return offset;
}

}  // namespace

SourceMap MapSource(std::string_view text, std::size_t depth) {
  SourceMap map;
  map.root_offset = FirstValueOffset(text);
  std::stringbuf buffer{std::string(text), std::ios::in};
  std::istream stream(&buffer);
  Mapper mapper(text, buffer, map, depth);
  Json::sax_parse(stream, &mapper);
  return map;
}

LineColumn PositionOf(std::string_view text, std::size_t offset) {
  return PositionCursor(text).At(offset);
}

LineColumn PositionCursor::At(std::size_t offset) {
  if (offset < offset_) {
    offset_ = 0;
    position_ = LineColumn{};
  }
  const std::size_t end = std::min(offset, text_.size());
  for (; offset_ < end; ++offset_) {
    const auto byte = static_cast<unsigned char>(text_[offset_]);
    if (byte == '\n') {
      ++position_.line;
      position_.column = 1;
    } else if ((byte & 0xC0U) != 0x80U) {
      // A UTF-8 continuation byte adds no character of its own.
      ++position_.column;
    }
  }
  return position_;
}

}  // namespace checkconfig
