#include "standin/live_objects.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace standin {
namespace {

// One bit for every place where an object may start, in pages of address
// space made on first use. Every host call proves its objects alive here, a
// million times in a recount of a large world: objects made one after
// another share a page and mostly a cache line of it, where a table of
// addresses would cost a cache miss for each.
class LiveMap {
 public:
  void Set(const void* object, bool live) {
    const auto address = reinterpret_cast<std::uintptr_t>(object);
    Page* page = FindPage(address >> kPageShift);
    if (page == nullptr) {
      if (!live) {
        return;
      }
      page = &AddPage(address >> kPageShift);
    }
    const std::uintptr_t bit = (address >> kAlignShift) & (kBitsPerPage - 1);
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    if (live) {
      (*page)[bit / 64] |= mask;
    } else {
      (*page)[bit / 64] &= ~mask;
    }
  }

  [[nodiscard]] bool Contains(const void* object) const {
    const auto address = reinterpret_cast<std::uintptr_t>(object);
    // Every object starts aligned; anything else is inside one, or no object.
    if (address % kAlignment != 0) {
      return false;
    }
    const Page* page = FindPage(address >> kPageShift);
    if (page == nullptr) {
      return false;
    }
    const std::uintptr_t bit = (address >> kAlignShift) & (kBitsPerPage - 1);
    return ((*page)[bit / 64] >> (bit % 64) & 1U) != 0;
  }

 private:
  static constexpr unsigned kAlignShift =
      3;  // objects start 8-byte aligned, so one bit per 8 bytes
  static constexpr std::uintptr_t kAlignment = std::uintptr_t{1} << kAlignShift;
  static constexpr unsigned kPageShift = 20;  // 1 MiB of address space per page
  static constexpr std::uintptr_t kBitsPerPage = std::uintptr_t{1} << (kPageShift - kAlignShift);
  using Page = std::array<std::uint64_t, kBitsPerPage / 64>;

  struct Slot {
    std::uintptr_t number = 0;  // of the page; page 0 holds no objects
    std::unique_ptr<Page> page;
  };

  [[nodiscard]] std::size_t Home(std::uintptr_t number) const {
    return static_cast<std::size_t>((number * 0x9E3779B97F4A7C15ULL) >> shift_);
  }

  [[nodiscard]] Page* FindPage(std::uintptr_t number) const {
    if (slots_.empty()) {
      return nullptr;
    }
    for (std::size_t at = Home(number);; at = (at + 1) & (slots_.size() - 1)) {
      if (slots_[at].number == number) {
        return slots_[at].page.get();
      }
      if (slots_[at].number == 0) {
        return nullptr;
      }
    }
  }

  Page& AddPage(std::uintptr_t number) {
    if ((pages_ + 1) * 2 > slots_.size()) {
      Grow();
    }
    std::size_t at = Home(number);
    while (slots_[at].number != 0) {
      at = (at + 1) & (slots_.size() - 1);
    }
    slots_[at].number = number;
    slots_[at].page = std::make_unique<Page>();
    ++pages_;
    return *slots_[at].page;
  }

  void Grow() {
    std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2);
    old.swap(slots_);
    shift_ = 64;
    for (std::size_t n = slots_.size(); n > 1; n /= 2) {
      --shift_;
    }
    for (Slot& slot : old) {
      if (slot.number != 0) {
        std::size_t at = Home(slot.number);
        while (slots_[at].number != 0) {
          at = (at + 1) & (slots_.size() - 1);
        }
        slots_[at] = std::move(slot);
      }
    }
  }

  std::vector<Slot> slots_;  // open addressing over page numbers
  std::size_t pages_ = 0;
  unsigned shift_ = 64;
};

LiveMap& live() {
  static LiveMap objects;
  return objects;
}

}  // namespace

void MarkLive(SimObject* object) {
  live().Set(object, true);
}

void MarkDead(SimObject* object) {
  live().Set(object, false);
}

SimObject* FindLive(const void* address) {
  return live().Contains(address) ? const_cast<SimObject*>(static_cast<const SimObject*>(address))
                                  : nullptr;
}

}  // namespace standin
