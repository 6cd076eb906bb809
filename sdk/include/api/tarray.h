#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// The game's dynamic array as it lies in memory. It owns nothing by itself:
// whoever fills it decides where the elements live.
template <typename T>
struct TArray {
  T* Data = nullptr;
  std::int32_t ArrayNum = 0;
  std::int32_t ArrayMax = 0;

  [[nodiscard]] std::int32_t Num() const noexcept { return ArrayNum; }
  [[nodiscard]] T* begin() const noexcept { return Data; }
  [[nodiscard]] T* end() const noexcept { return Data + ArrayNum; }
};

static_assert(std::is_standard_layout_v<TArray<void*>>);
static_assert(sizeof(TArray<void*>) == 16);
static_assert(offsetof(TArray<void*>, Data) == 0);
static_assert(offsetof(TArray<void*>, ArrayNum) == 8);
static_assert(offsetof(TArray<void*>, ArrayMax) == 12);
