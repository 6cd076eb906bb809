#pragma once

#include <cstdint>
#include <string_view>

#include "api/fstring.h"

namespace cairnward {

// Blueprint paths ordered as the game's case-insensitive compare orders them:
// unit by unit with only A-Z folded to a-z, ending at the first NUL.
struct BlueprintPathLess {
  using is_transparent = void;

  static int Compare(std::u16string_view a, std::u16string_view b) noexcept;

  static std::u16string_view TextOf(std::u16string_view text) noexcept { return text; }
  static std::u16string_view TextOf(const FString& text) noexcept { return text.View(); }

  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const noexcept {
    return Compare(TextOf(a), TextOf(b)) < 0;
  }
};

// Equal for texts that BlueprintPathLess finds equal: letters folded, the
// text ended at its first NUL. Four units at a time while no NUL is among them.
std::uint64_t FoldedHash(std::u16string_view text) noexcept;

}  // namespace cairnward
