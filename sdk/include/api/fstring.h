#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "api/fmemory.h"
#include "api/tarray.h"

// The game's wide string: 16-bit units, a count that includes the closing NUL
// (0 when empty), and a capacity. Storage always comes from FMemory, so a block
// handed over by the game can be released here and the other way round.
class FString {
 public:
  FString() noexcept = default;
  explicit FString(std::u16string_view text) { Append(text); }
  explicit FString(const char16_t* text) : FString(std::u16string_view(text ? text : u"")) {}

  FString(const FString& other) { CopyExact(other); }
  FString(FString&& other) noexcept : chars_(std::exchange(other.chars_, {})) {}

  FString& operator=(const FString& other) {
    if (this != &other) {
      FString copy(other);
      Swap(copy);
    }
    return *this;
  }

  FString& operator=(FString&& other) noexcept {
    FString moved(std::move(other));
    Swap(moved);
    return *this;
  }

  ~FString() { Release(); }

  // The characters, never null: an empty FString reads as "".
  [[nodiscard]] const char16_t* operator*() const noexcept {
    return chars_.ArrayNum > 0 ? chars_.Data : u"";
  }

  [[nodiscard]] std::u16string_view View() const noexcept {
    return chars_.ArrayNum > 0 ? std::u16string_view(chars_.Data, chars_.ArrayNum - 1)
                               : std::u16string_view();
  }

  [[nodiscard]] std::int32_t Len() const noexcept {
    return chars_.ArrayNum > 0 ? chars_.ArrayNum - 1 : 0;
  }
  [[nodiscard]] bool IsEmpty() const noexcept { return Len() == 0; }

  // Raw layout, for tests of the allocation rules.
  [[nodiscard]] std::int32_t Num() const noexcept { return chars_.ArrayNum; }
  [[nodiscard]] std::int32_t Max() const noexcept { return chars_.ArrayMax; }

  FString& Append(std::u16string_view text) {
    if (text.empty()) {
      return *this;
    }
    const auto old_len = static_cast<std::size_t>(Len());
    const auto count = static_cast<std::int32_t>(old_len + text.size() + 1);
    Grow(count);
    std::memcpy(chars_.Data + old_len, text.data(), text.size() * sizeof(char16_t));
    chars_.Data[count - 1] = u'\0';
    chars_.ArrayNum = count;
    return *this;
  }

  FString& operator+=(std::u16string_view text) { return Append(text); }

  void Swap(FString& other) noexcept { std::swap(chars_, other.chars_); }

 private:
  // Capacity rule of the game's strings: 4 for a small first block, otherwise
  // count + count * 3 / 8 + 16.
  static std::int32_t SlackFor(std::int32_t count, std::int32_t capacity) noexcept {
    if (capacity == 0 && count <= 4) {
      return 4;
    }
    return count + count * 3 / 8 + 16;
  }

  void Grow(std::int32_t count) {
    if (count <= chars_.ArrayMax) {
      return;
    }
    const std::int32_t capacity = SlackFor(count, chars_.ArrayMax);
    const auto bytes = static_cast<std::size_t>(capacity) * sizeof(char16_t);
    void* block =
        chars_.Data != nullptr ? FMemory::Realloc(chars_.Data, bytes) : FMemory::Malloc(bytes);
    if (block == nullptr) {
      throw std::bad_alloc();
    }
    chars_.Data = static_cast<char16_t*>(block);
    chars_.ArrayMax = capacity;
  }

  void CopyExact(const FString& other) {
    if (other.chars_.ArrayNum <= 0) {
      return;
    }
    const auto bytes = static_cast<std::size_t>(other.chars_.ArrayNum) * sizeof(char16_t);
    void* block = FMemory::Malloc(bytes);
    if (block == nullptr) {
      throw std::bad_alloc();
    }
    std::memcpy(block, other.chars_.Data, bytes);
    chars_.Data = static_cast<char16_t*>(block);
    chars_.ArrayNum = other.chars_.ArrayNum;
    chars_.ArrayMax = other.chars_.ArrayNum;
  }

  void Release() noexcept {
    if (chars_.Data != nullptr) {
      FMemory::Free(chars_.Data);
    }
    chars_ = {};
  }

  TArray<char16_t> chars_;
};

static_assert(std::is_standard_layout_v<FString>);
static_assert(sizeof(FString) == 16);
static_assert(alignof(FString) == 8);
