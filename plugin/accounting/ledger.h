#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "accounting/exceeded_limits.h"
#include "api/fstring.h"
#include "host/flat_hash_map.h"
#include "host/path_order.h"

namespace cairnward {
class LimitPlan;
}  // namespace cairnward

namespace cairnward {

// Count per team id. A team without an entry has 0.
using TeamCounts = FlatHashMap<std::int32_t, std::int32_t>;

// The team's count in `counts`; unlike operator[], adds no entry for a team
// that has none.
inline std::int32_t CountIn(const TeamCounts& counts, std::int32_t team) {
  const auto it = counts.find(team);
  return it != counts.end() ? it->second : 0;
}

// Blueprint path -> team -> count, for the configured blueprints only, in
// ascending order of the paths compared without regard to case. Entries are
// added by the recount alone; everyone else reads them and changes counts.
// Each entry also remembers the limit of its own path once looked up, for as
// long as the configuration that gave it is in force, and which teams' counts
// are above the limit.
class Ledger {
  struct Entry {
    explicit Entry(FString key);
    Entry(FString key, std::uint64_t key_hash);
    std::pair<const FString, TeamCounts> item;
    std::uint64_t hash;                  // of the key as find() compares it
    std::uint64_t limit_generation = 0;  // the ConfigGeneration() of `limit`; 0: none yet
    std::int32_t limit = 0;
    LimitMarks above;
  };
  using Entries = std::vector<std::unique_ptr<Entry>>;

  template <typename Value, typename At>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<const FString, TeamCounts>;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;

    Iterator() = default;
    explicit Iterator(At at) : at_(at) {}
    // A mutable iterator converts to a read-only one.
    template <typename OtherValue, typename OtherAt>
    Iterator(const Iterator<OtherValue, OtherAt>& other)  // NOLINT(google-explicit-constructor)
        : at_(other.Position()) {}

    reference operator*() const { return (*at_)->item; }
    pointer operator->() const { return &(*at_)->item; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++at_;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }

    [[nodiscard]] At Position() const { return at_; }

   private:
    At at_{};
  };

 public:
  using key_type = FString;
  using mapped_type = TeamCounts;
  using value_type = std::pair<const FString, TeamCounts>;
  using iterator = Iterator<value_type, Entries::iterator>;
  using const_iterator = Iterator<const value_type, Entries::const_iterator>;

  iterator begin() { return iterator(entries_.begin()); }
  iterator end() { return iterator(entries_.end()); }
  [[nodiscard]] const_iterator begin() const { return const_iterator(entries_.begin()); }
  [[nodiscard]] const_iterator end() const { return const_iterator(entries_.end()); }
  [[nodiscard]] std::size_t size() const { return entries_.size(); }
  [[nodiscard]] bool empty() const { return entries_.empty(); }
  void clear();

  // The entry of a path, compared without regard to case, or end(). The
  // build check asks twice per placement, so this is a hash lookup rather
  // than a walk down the ordered keys, which share long prefixes.
  iterator find(std::u16string_view path) { return find(path, FoldedHash(path)); }
  [[nodiscard]] const_iterator find(std::u16string_view path) const {
    return find(path, FoldedHash(path));
  }
  // The same with the path's FoldedHash already worked out.
  iterator find(std::u16string_view path, std::uint64_t hash);
  [[nodiscard]] const_iterator find(std::u16string_view path, std::uint64_t hash) const;

  // Replaces every entry with an empty one per key. Of keys that compare
  // equal, the first given names the entry. O(n log n) in the keys, in
  // whatever order they come.
  void Assign(std::vector<FString> keys);
  // The same for keys in ledger order, no two alike, with their FoldedHash:
  // as a recount hands them over after its first, so that nothing is sorted
  // or hashed again.
  void AssignInOrder(std::vector<FString> keys, std::span<const std::uint64_t> hashes);

  // BlueprintLimit(path) for a path that found `entry`. When the path spells
  // the entry's key exactly, the lookup is made once per configuration.
  std::int32_t LimitOf(const_iterator entry, std::u16string_view path);

  // The teams whose count of the entry is above its limit.
  LimitMarks& MarksOf(const_iterator entry);

 private:
  Entry& Held(const_iterator entry);
  void Reindex() const;

  Entries entries_;  // in ledger order
  // Open addressing over the keys' hashes: 1 + position in entries_, 0 when
  // free. Laid out again at the first find after entries were added, as
  // every insertion moves the positions behind it.
  mutable std::vector<std::uint32_t> index_;
  mutable bool index_stale_ = false;
};

// The in-memory counts, emptied and rebuilt by every recount. Reading an
// absent team through operator[] makes its zero entry, which changes no count.
Ledger& StructureLedger();
// Team -> structures of every blueprint, configured or not.
TeamCounts& TeamTotals();
// Team -> how many of its limits it is above; a team with any is refused
// every placement. Each ledger entry marks the teams above its limit.
ExceededLimits& TeamLimitExceeded();

// The team counts of each group of blueprints, kept apart from the ledger so
// that a group is never taken for a blueprint. Made by the recount for the
// groups of the configuration it counted by.
struct GroupTally {
  std::shared_ptr<const LimitPlan> plan;  // whose groups these are; null: none counted
  std::vector<TeamCounts> counts;         // by group index of `plan`
  std::vector<LimitMarks> above;          // the teams above each group's limit
};
GroupTally& GroupCounts();

// Empties all four.
void ClearAccounting();

// Takes the counts away for a rebuild, and puts them back when the rebuild
// does not complete: a recount that fails part-way must not leave teams with
// empty or half-built counts, free to build past their limits.
class CountsRebuild {
 public:
  CountsRebuild();
  ~CountsRebuild();
  CountsRebuild(const CountsRebuild&) = delete;
  CountsRebuild& operator=(const CountsRebuild&) = delete;

  // The rebuilt counts stay.
  void Commit() noexcept { committed_ = true; }

 private:
  Ledger ledger_;
  TeamCounts totals_;
  ExceededLimits exceeded_;
  GroupTally groups_;
  bool committed_ = false;
};

// The game's counts are 32-bit and wrap rather than trap.
constexpr std::int32_t Plus(std::int32_t a, std::int32_t b) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Ids up to this one belong to no team that is counted.
inline constexpr std::int32_t kHighestUncountedTeam = 1000;

// The ledger key of a "Structures" member name: byte by byte, every byte from
// 0x80 up as "?".
FString LedgerKey(std::string_view member_name);

// The ledger entry of a path (case-insensitive), or null.
TeamCounts* FindLedgerEntry(std::u16string_view path);

// "Count" of the "Structures" member named exactly (case-sensitively) by the
// path's UTF-8 form; 9999 when the member or its "Count" is absent.
std::int32_t BlueprintLimit(std::u16string_view path);

// Game text in UTF-8 for a trace line, converted only when the line is written.
struct Utf8Text {
  std::u16string_view text;
};

}  // namespace cairnward

template <>
struct fmt::formatter<cairnward::Utf8Text> : fmt::formatter<std::string_view> {
  auto format(const cairnward::Utf8Text& value, fmt::format_context& ctx) const
      -> decltype(ctx.out());
};
