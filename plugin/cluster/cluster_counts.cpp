#include "cluster/cluster_counts.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/recount.h"
#include "cluster/key_names.h"
#include "cluster/redis_link.h"
#include "config/config.h"
#include "host/text.h"

namespace cairnward {
namespace {

// Teams per piece of a publication: each piece runs as one script, and a
// short one keeps Redis free for the other servers in between.
constexpr std::size_t kTeamsPerPiece = 100;
// Pieces sent before their answers are read: enough to hide the round trips,
// few enough that sending them never waits on Redis working through the
// ones before, which the timeout would take for a stall.
constexpr std::size_t kPiecesInFlight = 4;

constexpr std::string_view kTotalField = "total";

struct Cluster {
  std::unique_ptr<RedisLink> link;
  std::unique_ptr<KeyNames> keys;
  // The field of every position of a team's view, for the ledger and the
  // groups of `fields_generation`.
  std::vector<std::string> fields;
  std::uint64_t fields_generation = 0;
  std::size_t fields_ledger_size = 0;
};

Cluster& State() {
  static Cluster cluster;
  return cluster;
}

// The cluster's link when it may be used now, else null.
RedisLink* UsableLink() {
  RedisLink* link = State().link.get();
  return link != nullptr && link->Up() ? link : nullptr;
}

const std::vector<std::string>& Fields() {
  Cluster& cluster = State();
  const Ledger& ledger = StructureLedger();
  if (cluster.fields.size() == ViewSize() && cluster.fields_generation == ConfigGeneration() &&
      cluster.fields_ledger_size == ledger.size()) {
    return cluster.fields;
  }
  cluster.fields.clear();
  cluster.fields.reserve(ViewSize());
  cluster.fields.emplace_back(kTotalField);
  for (const auto& [path, counts] : ledger) {
    cluster.fields.push_back("b:" + ToUtf8(path.View()));
  }
  for (const GroupLimit& group : Limits().Groups()) {
    cluster.fields.push_back("g:" + group.key);
  }
  cluster.fields_generation = ConfigGeneration();
  cluster.fields_ledger_size = ledger.size();
  return cluster.fields;
}

bool Counted(const FString& path, std::int32_t team) {
  return team > kHighestUncountedTeam && !std::u16string_view(*path).empty();
}

// numkeys and the four keys of a team's count change, then team and server.
Command ChangeHead(std::int32_t team) {
  const KeyNames& keys = *State().keys;
  return {"4",
          keys.Aggregate(team),
          keys.Contribution(team),
          keys.ServerTeams(),
          keys.Servers(),
          std::to_string(team),
          keys.Server()};
}

std::int32_t IntegerOf(const redisReply& reply) {
  if (reply.type == REDIS_REPLY_INTEGER) {
    return static_cast<std::int32_t>(reply.integer);
  }
  std::int32_t value = 0;
  if (reply.type == REDIS_REPLY_STRING) {
    std::from_chars(reply.str, reply.str + reply.len, value);
  }
  return value;
}

// This server's counts by team: (position, count) for every count above 0.
FlatHashMap<std::int32_t, std::vector<std::pair<std::uint32_t, std::int32_t>>> OwnCounts() {
  FlatHashMap<std::int32_t, std::vector<std::pair<std::uint32_t, std::int32_t>>> own;
  const auto add = [&](const TeamCounts& counts, std::size_t position) {
    for (const auto& [team, count] : counts) {
      if (count > 0 && team > kHighestUncountedTeam) {
        own[team].emplace_back(static_cast<std::uint32_t>(position), count);
      }
    }
  };
  add(TeamTotals(), 0);
  std::size_t entry = 0;
  for (const auto& [path, counts] : StructureLedger()) {
    add(counts, BlueprintPosition(entry++));
  }
  if (const GroupTally* tally = CountedGroups(); tally != nullptr) {
    for (std::size_t group = 0; group < tally->counts.size(); ++group) {
      add(tally->counts[group], GroupPosition(group));
    }
  }
  return own;
}

}  // namespace

void StartCluster(const std::optional<ClusterSettings>& settings) {
  StopCluster();
  if (!settings) {
    return;
  }
  Cluster& cluster = State();
  cluster.keys = std::make_unique<KeyNames>(settings->name, settings->server);
  cluster.link = std::make_unique<RedisLink>(*settings, [] { PublishContribution(); });
  cluster.link->Start();
}

void StopCluster() {
  Cluster& cluster = State();
  cluster.link.reset();
  cluster.keys.reset();
  cluster.fields.clear();
}

std::optional<ClusterVerdict> ClusterPlace(const FString& path, const PathFacts& facts,
                                           std::int32_t team, std::uint64_t steam_id) {
  if (!Counted(path, team)) {
    return std::nullopt;
  }
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return std::nullopt;
  }
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::uint32_t> positions = PositionsOf(facts);
  std::vector<std::int32_t> limits = TeamLimitsInOrder(team);
  if (ExemptAdmin(steam_id)) {
    std::fill(limits.begin(), limits.end(), std::numeric_limits<std::int32_t>::max());
  }
  Command command = ChangeHead(team);
  command.reserve(command.size() + 1 + positions.size() + 2 * fields.size());
  command.push_back(std::to_string(positions.size()));
  for (const std::uint32_t position : positions) {
    command.push_back(std::to_string(position + 1));
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    command.push_back(fields[i]);
    command.push_back(std::to_string(limits[i]));
  }
  try {
    const Reply reply = link->RunScript(Script::kPlace, command);
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements != fields.size() + 1) {
      link->Fail("the placement script answered something else than its counts");
      return std::nullopt;
    }
    ClusterVerdict verdict;
    verdict.allowed = IntegerOf(*reply->element[0]) == 0;
    std::vector<std::int32_t> counts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      counts[i] = IntegerOf(*reply->element[i + 1]);
    }
    if (verdict.allowed) {
      for (const std::uint32_t position : positions) {
        counts[position] = Plus(counts[position], 1);
      }
    }
    verdict.after = TeamView(std::move(counts));
    return verdict;
  } catch (const LinkDown&) {
    return std::nullopt;
  }
}

void ClusterCountChange(const FString& path, std::int32_t team, std::int32_t change) {
  if (!Counted(path, team)) {
    return;
  }
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return;
  }
  const std::vector<std::string>& fields = Fields();
  Command command = ChangeHead(team);
  for (const std::uint32_t position : PositionsOf(FactsOfPath(path.View()))) {
    command.push_back(fields[position]);
    command.push_back(std::to_string(change));
  }
  try {
    link->RunScript(Script::kChange, command);
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

void ClusterMove(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || from <= kHighestUncountedTeam) {
    return;
  }
  const std::string target = to > kHighestUncountedTeam ? std::to_string(to) : "0";
  try {
    link->RunScript(Script::kMove, {"0", State().keys->Prefix(), std::to_string(from), target});
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

std::optional<TeamView> ClusterTeamView(std::int32_t team) {
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return std::nullopt;
  }
  try {
    const Reply reply = link->Run(Command{"HGETALL", State().keys->Aggregate(team)});
    const std::vector<std::string>& fields = Fields();
    std::unordered_map<std::string_view, std::size_t> position;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      position.emplace(fields[i], i);
    }
    std::vector<std::int32_t> counts(fields.size());
    for (std::size_t i = 0; i + 1 < reply->elements; i += 2) {
      const redisReply& field = *reply->element[i];
      const auto at = position.find(std::string_view(field.str, field.len));
      if (at != position.end()) {
        counts[at->second] = IntegerOf(*reply->element[i + 1]);
      }
    }
    return TeamView(std::move(counts));
  } catch (const LinkDown&) {
    return std::nullopt;
  }
}

void PublishContribution() {
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return;
  }
  const KeyNames& keys = *State().keys;
  const std::vector<std::string>& fields = Fields();
  auto own = OwnCounts();
  try {
    const Reply held = link->Run(Command{"SMEMBERS", keys.ServerTeams()});
    std::vector<Command> pieces;
    std::size_t in_piece = kTeamsPerPiece;
    const auto add_team = [&](std::int32_t team,
                              const std::vector<std::pair<std::uint32_t, std::int32_t>>& counts) {
      if (in_piece == kTeamsPerPiece) {
        pieces.push_back({"0", keys.Prefix(), keys.Server()});
        in_piece = 0;
      }
      Command& piece = pieces.back();
      piece.push_back(std::to_string(team));
      piece.push_back(std::to_string(counts.size()));
      for (const auto& [position, count] : counts) {
        piece.push_back(fields[position]);
        piece.push_back(std::to_string(count));
      }
      ++in_piece;
    };
    const std::vector<std::pair<std::uint32_t, std::int32_t>> none;
    for (std::size_t i = 0; i < held->elements; ++i) {
      const redisReply& member = *held->element[i];
      const std::int32_t team = IntegerOf(member);
      if (own.find(team) == own.end()) {
        add_team(team, none);
      }
    }
    for (const auto& [team, counts] : own) {
      add_team(team, counts);
    }
    for (std::size_t first = 0; first < pieces.size(); first += kPiecesInFlight) {
      const std::size_t count = std::min(kPiecesInFlight, pieces.size() - first);
      link->RunScripts(Script::kReplace, std::span<const Command>(pieces).subspan(first, count));
    }
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

void RecountAndPublish() {
  UpdateStructureCountAll();
  PublishContribution();
}

bool ClusterUp() {
  return UsableLink() != nullptr;
}

std::chrono::nanoseconds ClusterLongestWait() {
  const RedisLink* link = State().link.get();
  return link != nullptr ? link->LongestWait() : std::chrono::nanoseconds(0);
}

}  // namespace cairnward
