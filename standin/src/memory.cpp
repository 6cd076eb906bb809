#include "standin/memory.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "api/fmemory.h"
#include "standin/registry.h"
#include "standin/strict.h"

namespace standin {
namespace {

struct Books {
  std::unordered_map<void*, std::size_t> blocks;
  MemoryStats stats;
  std::uint64_t fail_skip = 0;
  std::uint64_t fail_count = 0;
  std::uint64_t failed = 0;
};

Books& books() {
  static Books instance;
  return instance;
}

bool ShouldFail() {
  Books& b = books();
  if (b.fail_count == 0) {
    return false;
  }
  if (b.fail_skip > 0) {
    --b.fail_skip;
    return false;
  }
  --b.fail_count;
  ++b.failed;
  return true;
}

void Track(void* block, std::size_t size) {
  Books& b = books();
  b.blocks.emplace(block, size);
  ++b.stats.live_blocks;
  b.stats.live_bytes += size;
  ++b.stats.allocations;
}

std::size_t Untrack(void* block, const char* who) {
  Books& b = books();
  const auto it = b.blocks.find(block);
  if (it == b.blocks.end()) {
    Violation(std::string(who) +
              " of a block that FMemory does not hold (double free or foreign block)");
  }
  const std::size_t size = it->second;
  b.blocks.erase(it);
  --b.stats.live_blocks;
  b.stats.live_bytes -= size;
  return size;
}

void* Malloc(std::size_t size, std::uint32_t /*alignment*/) {
  if (ShouldFail()) {
    return nullptr;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    return nullptr;
  }
  Track(block, size);
  return block;
}

void* Realloc(void* block, std::size_t size) {
  if (block == nullptr) {
    return Malloc(size, 0);
  }
  if (books().blocks.count(block) == 0) {
    Violation("FMemory.Realloc of a block that FMemory does not hold");
  }
  if (ShouldFail()) {
    return nullptr;
  }
  void* grown = std::malloc(size == 0 ? 1 : size);
  if (grown == nullptr) {
    return nullptr;
  }
  const std::size_t old_size = Untrack(block, "FMemory.Realloc");
  std::memcpy(grown, block, old_size < size ? old_size : size);
  std::free(block);
  ++books().stats.frees;
  Track(grown, size);
  return grown;
}

void Free(void* block) {
  if (block == nullptr) {
    return;
  }
  Untrack(block, "FMemory.Free");
  ++books().stats.frees;
  std::free(block);
}

}  // namespace

MemoryStats Memory() {
  return books().stats;
}

void FailAllocations(std::uint64_t skip, std::uint64_t count) {
  books().fail_skip = skip;
  books().fail_count = count;
}

std::uint64_t FailedAllocations() {
  return books().failed;
}

void RegisterMemoryFunctions() {
  RegisterFunction(game::kMalloc, &Malloc);
  RegisterFunction(game::kRealloc, &Realloc);
  RegisterFunction(game::kFree, &Free);
}

}  // namespace standin
