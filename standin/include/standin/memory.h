#pragma once

#include <cstddef>
#include <cstdint>

namespace standin {

// The game allocator's books: every block handed out and not yet freed.
struct MemoryStats {
  std::size_t live_blocks = 0;
  std::size_t live_bytes = 0;
  std::uint64_t allocations = 0;
  std::uint64_t frees = 0;
};

MemoryStats Memory();

// Fails the next `count` allocations after `skip` successful ones (fault injection).
void FailAllocations(std::uint64_t skip, std::uint64_t count);
// How many allocations fault injection has failed so far.
std::uint64_t FailedAllocations();

// Registers "FMemory.Malloc", "FMemory.Realloc" and "FMemory.Free".
void RegisterMemoryFunctions();

}  // namespace standin
