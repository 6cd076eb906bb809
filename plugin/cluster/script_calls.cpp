#include "cluster/script_calls.h"

#include "accounting/ledger.h"
#include "cluster/publishing_slot.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

namespace cairnward {
namespace {

// KEYS: a server's limits hash. ARGV: the version, then field and limit
// pairs. Replaces the hash in one step, so that no placement meets half of
// it; the version goes first, where every placement's lookup of it ends at
// once (a hash of a few hundred fields is a list Redis reads in order).
// HMSET (Redis 3.0's HSET takes one pair), in pieces that unpack can take.
constexpr std::string_view kWriteLimits = R"lua(
redis.call('DEL', KEYS[1])
redis.call('HSET', KEYS[1], 'v', ARGV[1])
for first = 2, #ARGV, 2000 do
  redis.call('HMSET', KEYS[1], unpack(ARGV, first, math.min(first + 1999, #ARGV)))
end
return 0
)lua";

constexpr std::size_t kTeamsPerPiece = 100;
constexpr std::size_t kReadsPerPiece = 2000;

std::string_view JudgeName(JudgedBy judged) {
  switch (judged) {
    case JudgedBy::kTeamLimits:
      return "team";
    case JudgedBy::kExempt:
      return "exempt";
    case JudgedBy::kEveryonesLimits:
      break;
  }
  return "everyone";
}

// FNV-1a, each text ended by a byte no text of them holds.
class Digest {
 public:
  void Mix(std::string_view bytes) {
    for (const char c : bytes) {
      hash_ = (hash_ ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    hash_ = (hash_ ^ 0xFFU) * 1099511628211ULL;
  }
  [[nodiscard]] std::string Text() const { return fmt::format("{:016x}", hash_); }

 private:
  std::uint64_t hash_ = 14695981039346656037ULL;
};

std::string DigestOf(std::span<const std::string> fields,
                     std::span<const std::pair<std::uint32_t, std::int32_t>> team_counts) {
  Digest digest;
  for (const auto& [position, count] : team_counts) {
    digest.Mix(fields[position]);
    digest.Mix(std::to_string(count));
  }
  return digest.Text();
}

}  // namespace

Command PlaceCall(const KeyNames& keys, std::int32_t team, std::string_view limits_version,
                  JudgedBy judged, std::span<const CountedField> counted) {
  Command command;
  command.reserve(12 + 2 * counted.size());
  command.insert(
      command.end(),
      {"7", keys.Aggregate(team), keys.Contribution(team), keys.ServerTeams(), keys.Servers(),
       keys.GridIndex(team), keys.Limits(), keys.GridIndexKept(), std::to_string(team),
       keys.Server(), std::string(limits_version), std::string(JudgeName(judged))});
  for (const auto& [field, limit] : counted) {
    command.emplace_back(field);
    command.push_back(std::to_string(limit));
  }
  return command;
}

Command ChangeCall(const KeyNames& keys, std::int32_t team,
                   std::span<const std::pair<std::string, std::int32_t>> changes) {
  Command command{"6",
                  keys.Aggregate(team),
                  keys.Contribution(team),
                  keys.ServerTeams(),
                  keys.Servers(),
                  keys.GridIndex(team),
                  keys.GridIndexKept(),
                  std::to_string(team),
                  keys.Server()};
  for (const auto& [field, change] : changes) {
    command.push_back(field);
    command.push_back(std::to_string(change));
  }
  return command;
}

TeamCountPairs CountsAboveZero(std::span<const std::int32_t> counts) {
  TeamCountPairs pairs;
  for (std::size_t position = 0; position < counts.size(); ++position) {
    if (counts[position] > 0) {
      pairs.emplace_back(static_cast<std::uint32_t>(position), counts[position]);
    }
  }
  return pairs;
}

std::vector<std::pair<std::int32_t, std::string>> ReplaceProblems(const redisReply& answer) {
  std::vector<std::pair<std::int32_t, std::string>> problems;
  for (std::size_t i = 0; answer.type == REDIS_REPLY_ARRAY && i + 1 < answer.elements; i += 2) {
    const redisReply& team = *answer.element[i];
    const redisReply& why = *answer.element[i + 1];
    problems.emplace_back(TeamOfMember(std::string_view(team.str, team.len)),
                          std::string(why.str, why.len));
  }
  return problems;
}

std::size_t TeamsPerPiece(std::size_t servers) {
  return std::clamp<std::size_t>(kReadsPerPiece / std::max<std::size_t>(servers, 1), 1,
                                 kTeamsPerPiece);
}

Command ReplacePiece(const KeyNames& keys, std::int64_t sequence, const SlotHeld& slot) {
  return {"0",
          keys.Prefix(),
          keys.Server(),
          std::to_string(sequence),
          slot.key,
          slot.holder,
          std::to_string(kSlotHeldFor.count())};
}

void AddReplacedTeam(Command& piece, std::span<const std::string> fields, std::int32_t team,
                     std::span<const std::pair<std::uint32_t, std::int32_t>> team_counts) {
  piece.push_back(std::to_string(team));
  piece.push_back(DigestOf(fields, team_counts));
  piece.push_back(std::to_string(team_counts.size()));
  for (const auto& [position, count] : team_counts) {
    piece.push_back(fields[position]);
    piece.push_back(std::to_string(count));
  }
}

std::vector<Command> ReplaceCalls(const KeyNames& keys, std::span<const std::string> fields,
                                  const ContributionsByTeam& counts,
                                  std::span<const std::int32_t> dropped, std::int64_t sequence,
                                  std::size_t teams_per_piece) {
  std::vector<Command> pieces;
  std::size_t in_piece = teams_per_piece;
  const auto add_team = [&](std::int32_t team,
                            std::span<const std::pair<std::uint32_t, std::int32_t>> team_counts) {
    if (in_piece == teams_per_piece) {
      pieces.push_back(ReplacePiece(keys, sequence));
      in_piece = 0;
    }
    AddReplacedTeam(pieces.back(), fields, team, team_counts);
    ++in_piece;
  };
  for (const std::int32_t team : dropped) {
    add_team(team, {});
  }
  for (const auto& [team, team_counts] : counts) {
    add_team(team, team_counts);
  }
  return pieces;
}

Command JoinCall(const KeyNames& keys, std::int32_t from, std::int32_t to,
                 std::string_view limits_version, bool judged) {
  return {"0",
          keys.Prefix(),
          std::to_string(from),
          to > kHighestUncountedTeam ? std::to_string(to) : "0",
          keys.Limits(),
          std::string(limits_version),
          judged ? "judge" : "move"};
}

Command UnjoinCall(const KeyNames& keys, std::int32_t from, std::int32_t to,
                   std::span<const std::string> moved) {
  Command command{"0", keys.Prefix(), std::to_string(from), std::to_string(to)};
  command.insert(command.end(), moved.begin(), moved.end());
  return command;
}

std::string MoveSequenceKey(const KeyNames& keys) {
  return keys.Prefix() + "moves";
}

Command MoveSequenceCall(const KeyNames& keys) {
  return {"GET", MoveSequenceKey(keys)};
}

std::int64_t MoveSequenceIn(const redisReply& reply) {
  return reply.type == REDIS_REPLY_STRING ? std::strtoll(reply.str, nullptr, 10) : 0;
}

std::int32_t TeamOfMember(std::string_view member) {
  std::int32_t team = 0;
  std::from_chars(member.data(), member.data() + member.size(), team);
  return team;
}

std::string TeamLimitField(std::int32_t team, std::string_view field) {
  return fmt::format("t:{}:{}", team, field);
}

std::string LimitsVersion(const LimitFields& limits) {
  Digest digest;
  for (const auto& [field, limit] : limits) {
    digest.Mix(field);
    digest.Mix(std::to_string(limit));
  }
  return digest.Text();
}

std::vector<Command> LimitsCalls(const KeyNames& keys, std::string_view version,
                                 const LimitFields& limits) {
  Command write{"EVAL", std::string(kWriteLimits), "1", keys.Limits(), std::string(version)};
  write.reserve(write.size() + 2 * limits.size());
  for (const auto& [field, limit] : limits) {
    write.push_back(field);
    write.push_back(std::to_string(limit));
  }
  return {std::move(write)};
}

void AddAt(TeamCountPairs& pairs, std::uint32_t position, std::int32_t change) {
  const auto at =
      std::lower_bound(pairs.begin(), pairs.end(), position,
                       [](const auto& pair, std::uint32_t p) { return pair.first < p; });
  if (at != pairs.end() && at->first == position) {
    at->second = std::max(0, at->second + change);
    if (at->second == 0) {
      pairs.erase(at);
    }
  } else if (change > 0) {
    pairs.emplace(at, position, change);
  }
}

}  // namespace cairnward
