#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace cairnward {

// A hash map over integer or pointer keys that keeps its entries in one
// array (open addressing, linear probing). A recount of a large world makes
// a million increments in these and empties them again at the next one; a
// node per entry, as std::unordered_map keeps, would cost an allocation, a
// cache miss and a release for each.
//
// The part of std::unordered_map's interface that the plug-in uses, with one
// difference: inserting may move every entry, so a reference or iterator
// into the map is good only until the next insertion.
template <typename Key, typename Value>
class FlatHashMap {
  static_assert(std::is_integral_v<Key> || std::is_pointer_v<Key>);

 public:
  using key_type = Key;
  using mapped_type = Value;
  using value_type = std::pair<const Key, Value>;
  using size_type = std::size_t;

 private:
  using Slot = std::optional<value_type>;
  using Slots = std::vector<Slot>;

  template <typename Item, typename At>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<const Key, Value>;
    using difference_type = std::ptrdiff_t;
    using pointer = Item*;
    using reference = Item&;

    Iterator() = default;
    Iterator(At at, At end) : at_(at), end_(end) { SkipFree(); }
    // A mutable iterator converts to a read-only one.
    template <typename OtherItem, typename OtherAt>
    Iterator(const Iterator<OtherItem, OtherAt>& other)  // NOLINT(google-explicit-constructor)
        : at_(other.at_), end_(other.end_) {}

    reference operator*() const { return **at_; }
    pointer operator->() const { return &**at_; }
    Iterator& operator++() {
      ++at_;
      SkipFree();
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }

   private:
    template <typename, typename>
    friend class Iterator;

    void SkipFree() {
      while (at_ != end_ && !at_->has_value()) {
        ++at_;
      }
    }

    At at_{};
    At end_{};
  };

 public:
  using iterator = Iterator<value_type, typename Slots::iterator>;
  using const_iterator = Iterator<const value_type, typename Slots::const_iterator>;

  iterator begin() { return iterator(slots_.begin(), slots_.end()); }
  iterator end() { return iterator(slots_.end(), slots_.end()); }
  const_iterator begin() const { return const_iterator(slots_.begin(), slots_.end()); }
  const_iterator end() const { return const_iterator(slots_.end(), slots_.end()); }

  [[nodiscard]] size_type size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

  // Keeps the array: the next recount fills a map of the same size again.
  void clear() {
    for (Slot& slot : slots_) {
      slot.reset();
    }
    size_ = 0;
  }

  // Room for `count` entries without moving any while they are inserted.
  void reserve(size_type count) {
    std::size_t size = kFirstSize;
    while (size < 2 * count) {
      size *= 2;
    }
    if (size > slots_.size()) {
      Rehash(size);
    }
  }

  iterator find(Key key) { return iterator(slots_.begin() + Locate(key), slots_.end()); }
  const_iterator find(Key key) const {
    return const_iterator(slots_.begin() + Locate(key), slots_.end());
  }
  [[nodiscard]] size_type count(Key key) const { return Locate(key) != slots_.size() ? 1 : 0; }

  Value& at(Key key) { return const_cast<Value&>(std::as_const(*this).at(key)); }
  const Value& at(Key key) const {
    const std::size_t at = Locate(key);
    if (at == slots_.size()) {
      throw std::out_of_range("FlatHashMap::at: no such key");
    }
    return slots_[at]->second;
  }

  std::pair<iterator, bool> try_emplace(Key key) {
    if ((size_ + 1) * 2 > slots_.size()) {
      Rehash(slots_.empty() ? kFirstSize : slots_.size() * 2);
    }
    std::size_t at = Home(key);
    for (; slots_[at].has_value(); at = Next(at)) {
      if (slots_[at]->first == key) {
        return {iterator(slots_.begin() + static_cast<std::ptrdiff_t>(at), slots_.end()), false};
      }
    }
    slots_[at].emplace(std::piecewise_construct, std::forward_as_tuple(key), std::tuple<>());
    ++size_;
    return {iterator(slots_.begin() + static_cast<std::ptrdiff_t>(at), slots_.end()), true};
  }

  Value& operator[](Key key) { return try_emplace(key).first->second; }

  size_type erase(Key key) {
    std::size_t hole = Locate(key);
    if (hole == slots_.size()) {
      return 0;
    }
    // Pulls back every later member of the run that may sit in the hole,
    // so that a search never stops short at a free slot.
    for (std::size_t at = Next(hole); slots_[at].has_value(); at = Next(at)) {
      const std::size_t home = Home(slots_[at]->first);
      const bool home_after_hole =
          hole <= at ? (home > hole && home <= at) : (home > hole || home <= at);
      if (!home_after_hole) {
        slots_[hole].emplace(slots_[at]->first, std::move(slots_[at]->second));
        hole = at;
      }
    }
    slots_[hole].reset();
    --size_;
    return 1;
  }

 private:
  [[nodiscard]] std::size_t Home(Key key) const {
    std::uint64_t bits = 0;
    if constexpr (std::is_pointer_v<Key>) {
      bits = reinterpret_cast<std::uintptr_t>(key);
    } else {
      bits = static_cast<std::uint64_t>(key);
    }
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  [[nodiscard]] std::size_t Next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }

  // The slot of the key, or slots_.size() when it has none.
  [[nodiscard]] std::size_t Locate(Key key) const {
    if (slots_.empty()) {
      return 0;
    }
    for (std::size_t at = Home(key); slots_[at].has_value(); at = Next(at)) {
      if (slots_[at]->first == key) {
        return at;
      }
    }
    return slots_.size();
  }

  void Rehash(std::size_t size) {
    Slots old(size);
    old.swap(slots_);
    shift_ = 64;
    for (std::size_t n = slots_.size(); n > 1; n /= 2) {
      --shift_;
    }
    size_ = 0;
    for (Slot& slot : old) {
      if (slot.has_value()) {
        std::size_t at = Home(slot->first);
        while (slots_[at].has_value()) {
          at = Next(at);
        }
        slots_[at].emplace(slot->first, std::move(slot->second));
        ++size_;
      }
    }
  }

  static constexpr std::size_t kFirstSize = 16;

  Slots slots_;
  std::size_t size_ = 0;
  unsigned shift_ = 64;  // 64 - log2(slots_.size()): the top bits of the mixed key pick the slot
};

}  // namespace cairnward
