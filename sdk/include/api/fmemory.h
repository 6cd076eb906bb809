#pragma once

#include <cstddef>
#include <cstdint>

#include "api/game_access.h"

namespace game {
inline constexpr GameFunction<void*(std::size_t, std::uint32_t)> kMalloc{"FMemory.Malloc"};
inline constexpr GameFunction<void*(void*, std::size_t)> kRealloc{"FMemory.Realloc"};
inline constexpr GameFunction<void(void*)> kFree{"FMemory.Free"};
}  // namespace game

// The game's allocator. Every FString block comes from here and goes back here.
namespace FMemory {

inline void* Malloc(std::size_t size) {
  return Resolve(game::kMalloc)(size, 0);
}
inline void* Realloc(void* block, std::size_t size) {
  return Resolve(game::kRealloc)(block, size);
}
inline void Free(void* block) {
  Resolve(game::kFree)(block);
}

}  // namespace FMemory
