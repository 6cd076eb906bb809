#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/json_access.h"
#include "host/flat_hash_map.h"

namespace cairnward {

// Exact hashing for lookups by a path's own spelling.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view path) const noexcept {
    return std::hash<std::u16string_view>{}(path);
  }
};

// One member of "Groups": blueprints that share one limit.
struct GroupLimit {
  std::string key;      // its member name under "Groups"
  std::u16string name;  // "Name", shown by show-limits and in warnings
  std::int32_t count = 0;
};

// What "Teams" gives one team in place of the limits for everyone.
struct TeamLimits {
  std::optional<std::int32_t> max_amount;
  // Blueprint path, spelt exactly as under "Structures" -> its "Count".
  std::unordered_map<std::u16string, std::int32_t, PathHash, std::equal_to<>> structures;
  // By group index; none where everyone's "Count" of the group holds.
  std::vector<std::optional<std::int32_t>> groups;
};

// "Groups", "Teams" and "General" -> "WarnAtPercent", read once when the file
// is read: the build check asks for them at every placement.
class LimitPlan {
 public:
  // Group indexes, in the order of the file, of the groups a path belongs to,
  // matched as the ledger matches paths. `hash` is the path's FoldedHash.
  [[nodiscard]] std::span<const std::uint32_t> GroupsOf(std::u16string_view path,
                                                        std::uint64_t hash) const;
  [[nodiscard]] std::span<const std::uint32_t> GroupsOf(std::u16string_view path) const;
  // The team limits, or null when "Teams" gives the team none.
  [[nodiscard]] const TeamLimits* LimitsOf(std::int32_t team) const;
  [[nodiscard]] const FlatHashMap<std::int32_t, TeamLimits>& Teams() const { return teams_; }
  // Team -> its team limit of the path (spelt exactly as under "Teams"), for
  // every team that has one; null when none has.
  [[nodiscard]] const FlatHashMap<std::int32_t, std::int32_t>* TeamsLimitsOf(
      std::u16string_view path) const;

  [[nodiscard]] const std::vector<GroupLimit>& Groups() const { return groups_; }
  [[nodiscard]] std::optional<std::int32_t> WarnAtPercent() const { return warn_at_percent_; }

  // The group's "Count" for the team: its team limit, else everyone's.
  [[nodiscard]] std::int32_t GroupLimitOf(std::size_t group, std::int32_t team) const;

  friend LimitPlan ParseLimitPlan(const Json& root, std::span<const std::string> group_order);

 private:
  struct Member {
    std::u16string path;
    std::vector<std::uint32_t> groups;
  };
  void ReadGroups(const Json& root, std::span<const std::string> group_order);
  void AddMember(const std::u16string& path, std::uint32_t group);
  void ReadTeams(const Json& root);
  void IndexTeamLimits();

  std::vector<GroupLimit> groups_;
  FlatHashMap<std::uint64_t, std::vector<Member>> members_;  // by FoldedHash of the path
  FlatHashMap<std::int32_t, TeamLimits> teams_;
  // The same limits by what they limit, for the recount's walk over
  // classes and groups.
  std::unordered_map<std::u16string, FlatHashMap<std::int32_t, std::int32_t>, PathHash,
                     std::equal_to<>>
      teams_by_path_;
  std::vector<FlatHashMap<std::int32_t, std::int32_t>> teams_by_group_;  // by group index
  std::optional<std::int32_t> warn_at_percent_;
};

// Reads the plan from a parsed config.json. `group_order` names the members
// of "Groups" as the file has them; the JSON library keeps them in byte
// order. A wrong type or a value out of range fails with the JSON library's
// error, its text led by where it is.
LimitPlan ParseLimitPlan(const Json& root, std::span<const std::string> group_order);

// The member names of "Groups" in the order of the text, noted while a
// document is parsed: `Json::parse(in, notes.Callback())`.
class GroupOrderNotes {
 public:
  Json::parser_callback_t Callback();
  [[nodiscard]] const std::vector<std::string>& Names() const { return names_; }

 private:
  std::vector<std::string> names_;
  bool in_groups_ = false;
};

}  // namespace cairnward
