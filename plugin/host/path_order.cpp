#include "host/path_order.h"

#include <cstring>

namespace cairnward {
namespace {

constexpr char16_t FoldCase(char16_t unit) noexcept {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

// Whether one of the four units in a word is NUL.
constexpr bool HasNulUnit(std::uint64_t word) noexcept {
  return ((word - 0x0001000100010001ULL) & ~word & 0x8000800080008000ULL) != 0;
}

// FoldCase on four units at once: each lane is tested for A-Z without
// carrying into its neighbour, and gets 0x20 added when it is a letter.
constexpr std::uint64_t FoldWord(std::uint64_t word) noexcept {
  constexpr std::uint64_t kHigh = 0x8000800080008000ULL;
  constexpr std::uint64_t kLanes = 0x0001000100010001ULL;
  const std::uint64_t low = word & ~kHigh;
  const std::uint64_t from_a = (low + (0x8000 - u'A') * kLanes) & kHigh;
  const std::uint64_t past_z = (low + (0x8000 - u'Z' - 1) * kLanes) & kHigh;
  const std::uint64_t letters = from_a & ~past_z & ~(word & kHigh);
  return word | (letters >> 10U);
}

constexpr std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) noexcept {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ULL;
  return hash ^ (hash >> 32U);
}

}  // namespace

std::uint64_t FoldedHash(std::u16string_view text) noexcept {
  std::uint64_t hash = 0;
  std::size_t i = 0;
  for (; i + 4 <= text.size(); i += 4) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (HasNulUnit(word)) {
      break;
    }
    hash = Mix(hash, FoldWord(word));
  }
  for (; i < text.size() && text[i] != u'\0'; ++i) {
    hash = Mix(hash, FoldCase(text[i]));
  }
  return hash;
}

int BlueprintPathLess::Compare(std::u16string_view a, std::u16string_view b) noexcept {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  // Paths share long prefixes: equal units need no folding, so those are
  // skipped four at a time until a difference or a NUL.
  for (; i + 4 <= common; i += 4) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a.data() + i, sizeof x);
    std::memcpy(&y, b.data() + i, sizeof y);
    if (x != y || HasNulUnit(x)) {
      break;
    }
  }
  for (; i < common; ++i) {
    const char16_t x = FoldCase(a[i]);
    const char16_t y = FoldCase(b[i]);
    if (x != y) {
      return x < y ? -1 : 1;
    }
    if (x == u'\0') {
      return 0;
    }
  }
  // A shorter text ends as if at a NUL: equal only if the longer one has a NUL here.
  if (a.size() == b.size()) {
    return 0;
  }
  const std::u16string_view& longer = a.size() > b.size() ? a : b;
  if (longer[common] == u'\0') {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace cairnward
