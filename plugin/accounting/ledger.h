#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <unordered_map>

#include <fmt/format.h>

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

// Count per team id. A team without an entry has 0.
using TeamCounts = std::unordered_map<std::int32_t, std::int32_t>;
using Ledger = std::map<FString, TeamCounts, BlueprintPathLess>;

// The in-memory counts, emptied and rebuilt by every recount. Reading an
// absent team through operator[] makes its zero entry, which changes no count.
// Blueprint path -> team -> count, for the configured blueprints only.
Ledger& StructureLedger();
// Team -> structures of every blueprint, configured or not.
std::unordered_map<std::int32_t, std::int32_t>& TeamTotals();
// Team -> whether every placement of the team is refused.
std::unordered_map<std::int32_t, bool>& TeamLimitExceeded();

// Empties all three.
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
  std::unordered_map<std::int32_t, std::int32_t> totals_;
  std::unordered_map<std::int32_t, bool> flags_;
  bool committed_ = false;
};

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
