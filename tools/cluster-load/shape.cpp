#include "shape.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

namespace cluster_load {
namespace {

// Blueprints in groups: the first kGrouped, kGrouped / kGroups to a group,
// so that a team's blueprints touch one group or two.
constexpr std::size_t kGrouped = 60;
constexpr std::int32_t kBlueprintLimit = 100'000;
constexpr std::int32_t kGroupLimit = 1'000'000;
constexpr std::int32_t kTotalLimit = 10'000'000;
constexpr std::int32_t kFirstTeam = 1001;

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 33U;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33U;
  return x;
}

}  // namespace

std::string NameOf(Scenario scenario) {
  switch (scenario) {
    case Scenario::kRestartStorm:
      return "restart-storm";
    case Scenario::kBusyHour:
      return "busy-hour";
    case Scenario::kRefillStorm:
      break;
  }
  return "refill-storm";
}

Shape::Shape(const Plan& plan)
    : teams_per_grid_(plan.teams_per_grid), grids_per_team_(plan.grids_per_team) {
  fields_.emplace_back("total");
  for (std::size_t b = 0; b < kBlueprints; ++b) {
    fields_.push_back(fmt::format("b:/Game/Atlas/Structures/Building/Wood/Wall_{:03}", b));
  }
  for (std::size_t g = 0; g < kGroups; ++g) {
    fields_.push_back(fmt::format("g:Group{}", g));
  }
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const std::int32_t limit = i == 0             ? kTotalLimit
                               : i <= kBlueprints ? kBlueprintLimit
                                                  : kGroupLimit;
    limits_.emplace_back(fields_[i], limit);
  }
}

std::int32_t Shape::TeamOf(int grid, int slot) const {
  return kFirstTeam + (grid / grids_per_team_) * teams_per_grid_ + slot;
}

std::size_t Shape::BlueprintOf(std::int32_t team, std::size_t k) {
  return (static_cast<std::size_t>(team) * 37 + k) % kBlueprints;
}

std::uint32_t Shape::BlueprintPosition(std::size_t blueprint) {
  return static_cast<std::uint32_t>(1 + blueprint);
}

std::optional<std::uint32_t> Shape::GroupPosition(std::size_t blueprint) {
  if (blueprint >= kGrouped) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(1 + kBlueprints + blueprint / (kGrouped / kGroups));
}

std::vector<std::uint32_t> Shape::CountedAt(std::size_t blueprint) const {
  std::vector<std::uint32_t> positions{0, BlueprintPosition(blueprint)};
  if (const auto group = GroupPosition(blueprint)) {
    positions.push_back(*group);
  }
  return positions;
}

cairnward::TeamCountPairs Shape::WorldCounts(int grid, std::int32_t team) const {
  cairnward::TeamCountPairs pairs;
  for (std::size_t k = 0; k < kBlueprintsPerTeam; ++k) {
    const std::size_t blueprint = BlueprintOf(team, k);
    const auto count =
        static_cast<std::int32_t>(1 + Mix(static_cast<std::uint64_t>(grid) << 40U ^
                                          static_cast<std::uint64_t>(team) << 8U ^ k) %
                                          8);
    for (const std::uint32_t position : CountedAt(blueprint)) {
      AddAt(pairs, position, count);
    }
  }
  return pairs;
}

cairnward::ContributionsByTeam Shape::WorldOf(int grid) const {
  cairnward::ContributionsByTeam counts;
  for (int slot = 0; slot < teams_per_grid_; ++slot) {
    const std::int32_t team = TeamOf(grid, slot);
    counts[team] = WorldCounts(grid, team);
  }
  return counts;
}

}  // namespace cluster_load
