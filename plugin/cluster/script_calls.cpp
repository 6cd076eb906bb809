#include "cluster/script_calls.h"

#include <fmt/format.h>

#include <algorithm>

namespace cairnward {
namespace {

// Field and limit pairs per HSET: a long hash is written in several, so
// that no one command keeps Redis from the other servers for long.
constexpr std::size_t kPairsPerWrite = 1000;

std::string_view JudgeName(JudgedBy judged) {
  switch (judged) {
    case JudgedBy::kOwnLimits:
      return "own";
    case JudgedBy::kNoLimits:
      return "exempt";
    case JudgedBy::kEveryonesLimits:
      break;
  }
  return "everyone";
}

}  // namespace

Command PlaceCall(const KeyNames& keys, std::int32_t team, std::string_view limits_version,
                  JudgedBy judged, std::span<const std::string> fields) {
  Command command{"5",
                  keys.Aggregate(team),
                  keys.Contribution(team),
                  keys.ServerTeams(),
                  keys.Servers(),
                  keys.Limits(),
                  std::to_string(team),
                  keys.Server(),
                  std::string(limits_version),
                  std::string(JudgeName(judged))};
  command.insert(command.end(), fields.begin(), fields.end());
  return command;
}

Command ChangeCall(const KeyNames& keys, std::int32_t team,
                   std::span<const std::pair<std::string, std::int32_t>> changes) {
  Command command{"4",
                  keys.Aggregate(team),
                  keys.Contribution(team),
                  keys.ServerTeams(),
                  keys.Servers(),
                  std::to_string(team),
                  keys.Server()};
  for (const auto& [field, change] : changes) {
    command.push_back(field);
    command.push_back(std::to_string(change));
  }
  return command;
}

std::string TeamLimitField(std::int32_t team, std::string_view field) {
  return fmt::format("t:{}:{}", team, field);
}

std::vector<Command> LimitsCalls(const KeyNames& keys, std::string_view version,
                                 const LimitFields& limits) {
  const std::string key = keys.Limits();
  std::vector<Command> calls{{"DEL", key}};
  for (std::size_t first = 0; first < limits.size(); first += kPairsPerWrite) {
    Command& write = calls.emplace_back(Command{"HSET", key});
    const std::size_t last = std::min(limits.size(), first + kPairsPerWrite);
    for (std::size_t i = first; i < last; ++i) {
      write.push_back(limits[i].first);
      write.push_back(std::to_string(limits[i].second));
    }
  }
  calls.push_back({"HSET", key, "v", std::string(version)});
  return calls;
}

}  // namespace cairnward
