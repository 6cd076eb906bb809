#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cluster/script_calls.h"
#include "plan.h"

namespace cluster_load {

// The configuration and worlds the simulated grids share, generated from
// the plan: the largest world the benchmarks use, spread over the cluster.
// 300 limited blueprints with paths of about 45 bytes, 5 groups; each team
// holds 12 blueprints (about 14 counted fields) on each of its grids.
class Shape {
 public:
  static constexpr std::size_t kBlueprints = 300;
  static constexpr std::size_t kGroups = 5;
  static constexpr std::size_t kBlueprintsPerTeam = 12;

  explicit Shape(const Plan& plan);

  // Position 0 "total", then "b:<path>" per blueprint, then "g:<group>".
  [[nodiscard]] const std::vector<std::string>& Fields() const { return fields_; }
  // Everyone's limits, high enough that the load is never refused.
  [[nodiscard]] const cairnward::LimitFields& Limits() const { return limits_; }

  // The team held in `slot` by the grid; grids in runs of `grids_per_team`
  // hold the same teams.
  [[nodiscard]] std::int32_t TeamOf(int grid, int slot) const;
  // The k-th blueprint (0 to kBlueprintsPerTeam - 1) a team builds.
  [[nodiscard]] static std::size_t BlueprintOf(std::int32_t team, std::size_t k);
  // The positions a placement of the blueprint counts at, in position order.
  [[nodiscard]] std::vector<std::uint32_t> CountedAt(std::size_t blueprint) const;
  // A grid's counts of a team as its recount finds them.
  [[nodiscard]] cairnward::TeamCountPairs WorldCounts(int grid, std::int32_t team) const;
  // Every team's of a grid.
  [[nodiscard]] cairnward::ContributionsByTeam WorldOf(int grid) const;

 private:
  [[nodiscard]] static std::uint32_t BlueprintPosition(std::size_t blueprint);
  [[nodiscard]] static std::optional<std::uint32_t> GroupPosition(std::size_t blueprint);

  int teams_per_grid_;
  int grids_per_team_;
  std::vector<std::string> fields_;
  cairnward::LimitFields limits_;
};

using cairnward::AddAt;

}  // namespace cluster_load
