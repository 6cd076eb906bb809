#include "config/limit_plan.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "config/read_at.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "config/team_id.h"
#include "host/path_order.h"
#include "host/text.h"

namespace cairnward {
namespace {

GroupLimit ReadGroup(const Json& root, const std::string& key, std::vector<std::string>& members) {
  const Place where = PlaceOf({"Groups", key});
  GroupLimit group;
  group.key = key;
  ReadAt(where, [&] {
    group.name = FromUtf8(SettingOr<std::string>(root, settings::kGroupName, key));
    group.count = SettingOr<std::int32_t>(root, settings::kGroupCount, key);
    const Json* blueprints = FindMember(SettingObject(root, settings::kGroup, key), "Blueprints");
    if (blueprints != nullptr) {
      members = Read<std::vector<std::string>>(*blueprints);
    }
  });
  return group;
}

TeamLimits ReadTeam(const Json& team, const std::string& id,
                    const std::vector<GroupLimit>& groups) {
  TeamLimits limits;
  limits.groups.resize(groups.size());
  ReadAt(PlaceOf({"Teams", id}), [&] {
    if (const Json* max = FindMember(team, settings::kTeamMaxAmount.name); max != nullptr) {
      limits.max_amount = Read<std::int32_t>(*max);
    }
  });
  const Json& structures =
      ObjectOf(team, settings::kTeamStructures.name, PlaceOf({"Teams", id, "Structures"}));
  for (auto it = structures.begin(); it != structures.end(); ++it) {
    const std::int32_t count = ReadAt(PlaceOf({"Teams", id, "Structures", it.key()}),
                                      [&] { return Read<std::int32_t>(*it); });
    limits.structures.insert_or_assign(FromUtf8(it.key()), count);
  }
  const Json& group_counts =
      ObjectOf(team, settings::kTeamGroups.name, PlaceOf({"Teams", id, "Groups"}));
  for (auto it = group_counts.begin(); it != group_counts.end(); ++it) {
    const std::int32_t count =
        ReadAt(PlaceOf({"Teams", id, "Groups", it.key()}), [&] { return Read<std::int32_t>(*it); });
    // A group that is not configured limits nothing; the checker says so.
    const auto group = std::find_if(groups.begin(), groups.end(),
                                    [&](const GroupLimit& g) { return g.key == it.key(); });
    if (group != groups.end()) {
      limits.groups[static_cast<std::size_t>(group - groups.begin())] = count;
    }
  }
  return limits;
}

// The file's order where it was noted, else the library's.
std::vector<std::string> GroupKeysInOrder(const Json& groups,
                                          std::span<const std::string> group_order) {
  std::vector<std::string> keys;
  for (const std::string& key : group_order) {
    if (groups.contains(key) && std::find(keys.begin(), keys.end(), key) == keys.end()) {
      keys.push_back(key);
    }
  }
  for (auto it = groups.begin(); it != groups.end(); ++it) {
    if (std::find(keys.begin(), keys.end(), it.key()) == keys.end()) {
      keys.push_back(it.key());
    }
  }
  return keys;
}

}  // namespace

std::span<const std::uint32_t> LimitPlan::GroupsOf(std::u16string_view path) const {
  return members_.empty() ? std::span<const std::uint32_t>() : GroupsOf(path, FoldedHash(path));
}

std::span<const std::uint32_t> LimitPlan::GroupsOf(std::u16string_view path,
                                                   std::uint64_t hash) const {
  if (members_.empty()) {
    return {};
  }
  const auto it = members_.find(hash);
  if (it == members_.end()) {
    return {};
  }
  for (const Member& member : it->second) {
    if (BlueprintPathLess::Compare(member.path, path) == 0) {
      return member.groups;
    }
  }
  return {};
}

const TeamLimits* LimitPlan::LimitsOf(std::int32_t team) const {
  if (teams_.empty()) {
    return nullptr;
  }
  const auto it = teams_.find(team);
  return it != teams_.end() ? &it->second : nullptr;
}

const FlatHashMap<std::int32_t, std::int32_t>* LimitPlan::TeamsLimitsOf(
    std::u16string_view path) const {
  const auto it = teams_by_path_.find(path);
  return it != teams_by_path_.end() ? &it->second : nullptr;
}

std::int32_t LimitPlan::GroupLimitOf(std::size_t group, std::int32_t team) const {
  const FlatHashMap<std::int32_t, std::int32_t>& team_limits = teams_by_group_[group];
  if (!team_limits.empty()) {
    if (const auto it = team_limits.find(team); it != team_limits.end()) {
      return it->second;
    }
  }
  return groups_[group].count;
}

void LimitPlan::AddMember(const std::u16string& path, std::uint32_t group) {
  std::vector<Member>& same_hash = members_[FoldedHash(path)];
  auto member = std::find_if(same_hash.begin(), same_hash.end(), [&](const Member& m) {
    return BlueprintPathLess::Compare(m.path, path) == 0;
  });
  if (member == same_hash.end()) {
    member = same_hash.insert(same_hash.end(), Member{path, {}});
  }
  // A blueprint named twice in one group counts once in it.
  if (member->groups.empty() || member->groups.back() != group) {
    member->groups.push_back(group);
  }
}

void LimitPlan::ReadGroups(const Json& root, std::span<const std::string> group_order) {
  const Json& groups = ObjectOf(root, settings::kGroups.name, PlaceOf({"Groups"}));
  for (const std::string& key : GroupKeysInOrder(groups, group_order)) {
    std::vector<std::string> members;
    groups_.push_back(ReadGroup(root, key, members));
    const auto index = static_cast<std::uint32_t>(groups_.size() - 1);
    for (const std::string& name : members) {
      AddMember(AsciiWiden(name), index);
    }
  }
}

void LimitPlan::ReadTeams(const Json& root) {
  const Json& teams = ObjectOf(root, settings::kTeams.name, PlaceOf({"Teams"}));
  for (auto it = teams.begin(); it != teams.end(); ++it) {
    const Json& team = ReadAt(PlaceOf({"Teams", it.key()}), [&]() -> const Json& {
      return SettingObject(root, settings::kTeam, it.key());
    });
    TeamLimits limits = ReadTeam(team, it.key(), groups_);
    // A key that is no team id names no team; the checker says so.
    if (const auto id = ReadTeamId(it.key()).id) {
      teams_[*id] = std::move(limits);
    }
  }
}

void LimitPlan::IndexTeamLimits() {
  teams_by_group_.resize(groups_.size());
  for (const auto& [team, limits] : teams_) {
    for (const auto& [path, count] : limits.structures) {
      teams_by_path_[path][team] = count;
    }
    for (std::size_t group = 0; group < limits.groups.size(); ++group) {
      if (limits.groups[group]) {
        teams_by_group_[group][team] = *limits.groups[group];
      }
    }
  }
}

LimitPlan ParseLimitPlan(const Json& root, std::span<const std::string> group_order) {
  LimitPlan plan;
  const Json& general = SettingObject(root, settings::kGeneral);
  ReadAt(PlaceOf({"General", "WarnAtPercent"}), [&] {
    if (const Json* warn = FindMember(general, settings::kWarnAtPercent.name); warn != nullptr) {
      plan.warn_at_percent_ = ReadInRange(*warn, settings::kWarnAtPercent);
    }
  });
  plan.ReadGroups(root, group_order);
  plan.ReadTeams(root);
  plan.IndexTeamLimits();
  return plan;
}

Json::parser_callback_t GroupOrderNotes::Callback() {
  return [this](int depth, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::key) {
      if (depth == 1) {
        in_groups_ = parsed.is_string() && parsed.get_ref<const std::string&>() == "Groups";
      } else if (depth == 2 && in_groups_) {
        names_.push_back(parsed.get<std::string>());
      }
    }
    return true;
  };
}

}  // namespace cairnward
