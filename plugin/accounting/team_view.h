#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "accounting/ledger.h"

namespace cairnward {

struct PathFacts;

// Every count a team is limited by, in one order: its total, then each
// ledger entry in ledger order, then each group of the configuration in
// force in the order of the file. Local and cluster-wide counts share it, so
// a check reads either the same way.
class TeamView {
 public:
  TeamView() = default;
  explicit TeamView(std::vector<std::int32_t> counts) : counts_(std::move(counts)) {}

  [[nodiscard]] std::int32_t Total() const { return At(0); }
  [[nodiscard]] std::int32_t Blueprint(std::size_t entry) const { return At(1 + entry); }
  [[nodiscard]] std::int32_t Group(std::size_t group) const;
  [[nodiscard]] std::span<const std::int32_t> Counts() const { return counts_; }

 private:
  [[nodiscard]] std::int32_t At(std::size_t position) const {
    return position < counts_.size() ? counts_[position] : 0;
  }
  std::vector<std::int32_t> counts_;
};

// Views are sized by the ledger and the groups as they are now.
std::size_t ViewSize();
std::size_t BlueprintPosition(std::size_t entry);
std::size_t GroupPosition(std::size_t group);
// The index and the position of the entry a StructureLedger() iterator names.
std::size_t IndexOfEntry(Ledger::const_iterator entry);
std::uint32_t PositionOfEntry(Ledger::const_iterator entry);

// The team's local counts; reading adds no team anywhere.
TeamView LocalTeamView(std::int32_t team);

// Everyone's limit at every position of a view.
std::vector<std::int32_t> LimitsInOrder();
// The team's limit at every position: `everyone` (LimitsInOrder()) where
// "Teams" gives it no team limit.
std::vector<std::int32_t> LimitsInOrder(std::int32_t team, std::vector<std::int32_t> everyone);
// The positions at which "Teams" gives the team a team limit, with it.
std::vector<std::pair<std::uint32_t, std::int32_t>> TeamLimitsInOrder(std::int32_t team);
// The ledger entries the team's "Structures" under "Teams" limit, with each
// limit: a path applies where it spells the entry's key exactly.
std::vector<std::pair<Ledger::const_iterator, std::int32_t>> TeamEntryLimits(std::int32_t team);

// The positions a placement of a path counts at: the total, the path's
// ledger entry if it has one, and each of its groups while they are counted.
std::vector<std::uint32_t> PositionsOf(const PathFacts& facts);

}  // namespace cairnward
