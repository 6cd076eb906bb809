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
// Each function is resolved once per library: the host's addresses do not
// change while it runs, and every string of the plug-in passes through here.
namespace FMemory {

inline void* Malloc(std::size_t size) {
  static const auto resolved = Resolve(game::kMalloc);
  return resolved(size, 0);
}
inline void* Realloc(void* block, std::size_t size) {
  static const auto resolved = Resolve(game::kRealloc);
  return resolved(block, size);
}
inline void Free(void* block) {
  static const auto resolved = Resolve(game::kFree);
  resolved(block);
}

}  // namespace FMemory
