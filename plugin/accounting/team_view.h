#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

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

// How many positions a view has with the ledger and the groups as they are.
std::size_t ViewSize();
// The position of a ledger entry's count, and of a group's.
std::size_t BlueprintPosition(std::size_t entry);
std::size_t GroupPosition(std::size_t group);

// This server's own counts of the team; reading adds no team anywhere.
TeamView LocalTeamView(std::int32_t team);

// Everyone's limit at every position of a view.
std::vector<std::int32_t> LimitsInOrder();
// The team's limit at every position: `everyone` (LimitsInOrder()) where
// "Teams" gives it none of its own.
std::vector<std::int32_t> LimitsInOrder(std::int32_t team, std::vector<std::int32_t> everyone);
// The positions at which "Teams" gives the team a limit of its own, with it;
// a blueprint's own limit where it spells the entry's key exactly.
std::vector<std::pair<std::uint32_t, std::int32_t>> OwnLimitsInOrder(std::int32_t team);

// The positions a placement of a path counts at: the total, the path's
// ledger entry if it has one, and each of its groups while they are counted.
std::vector<std::uint32_t> PositionsOf(const PathFacts& facts);

}  // namespace cairnward
