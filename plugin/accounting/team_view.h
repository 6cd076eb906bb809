#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace cairnward {

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

}  // namespace cairnward
