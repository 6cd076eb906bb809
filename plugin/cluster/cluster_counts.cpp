#include "cluster/cluster_counts.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "accounting/group_counts.h"
#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "accounting/recount.h"
#include "cluster/key_names.h"
#include "cluster/publisher.h"
#include "cluster/redis_link.h"
#include "cluster/script_calls.h"
#include "config/config.h"
#include "host/logger.h"
#include "host/text.h"

namespace cairnward {
namespace {

constexpr std::string_view kTotalField = "total";

struct FieldHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view field) const noexcept {
    return std::hash<std::string_view>{}(field);
  }
};

struct Cluster {
  std::unique_ptr<RedisLink> link;
  std::unique_ptr<KeyNames> keys;
  std::unique_ptr<Publisher> publisher;
  // Teams Redis holds a value that is not a count for: judged by this
  // server's counts until the next publication, and each said once.
  FlatHashMap<std::int32_t, bool> local_teams;
  FlatHashMap<std::int32_t, bool> said_bad;
  std::chrono::nanoseconds longest_publication_wait{0};
  // The field of every position of a team's view, for the ledger and the
  // groups of `fields_generation`, and the position of each field.
  std::vector<std::string> fields;
  std::unordered_map<std::string, std::uint32_t, FieldHash, std::equal_to<>> positions;
  std::uint64_t fields_generation = 0;
  std::size_t fields_ledger_size = 0;
  // The version of this server's limits in Redis; empty until they are
  // published for the fields as they are.
  std::string limits_version;
  std::uint32_t publications = 0;
};

Cluster& State() {
  static Cluster cluster;
  return cluster;
}

void Settle(RedisLink& link);

// The cluster's link when it may be used now, else null.
RedisLink* UsableLink() {
  RedisLink* link = State().link.get();
  if (link == nullptr || !link->Up()) {
    return nullptr;
  }
  try {
    Settle(*link);
  } catch (const LinkDown&) {
    return nullptr;
  }
  return link;
}

// A value in Redis that is not a count is the team's problem, never the
// link's: the team is judged by this server's counts, and it is said once.
void JudgeLocally(std::int32_t team, std::string_view why) {
  Cluster& cluster = State();
  cluster.local_teams[team] = true;
  if (!cluster.said_bad.try_emplace(team).second) {
    return;
  }
  Log().error(
      "Cluster: team {} is judged by this server's counts alone until this server's next "
      "recount: {}",
      team, why);
}

bool JudgedLocally(std::int32_t team) {
  const Cluster& cluster = State();
  return cluster.local_teams.find(team) != cluster.local_teams.end();
}

// The reason in a script's answer {-2, why} or {-2, team, why}.
std::optional<std::string> BadValue(const redisReply& reply) {
  if (reply.type != REDIS_REPLY_ARRAY || reply.elements < 2 ||
      reply.element[0]->type != REDIS_REPLY_INTEGER || reply.element[0]->integer != -2) {
    return std::nullopt;
  }
  const redisReply& why = *reply.element[reply.elements - 1];
  return std::string(why.str, why.len);
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
  cluster.positions.clear();
  for (std::size_t i = 0; i < cluster.fields.size(); ++i) {
    cluster.positions.emplace(cluster.fields[i], static_cast<std::uint32_t>(i));
  }
  cluster.fields_generation = ConfigGeneration();
  cluster.fields_ledger_size = ledger.size();
  cluster.limits_version.clear();
  return cluster.fields;
}

bool Counted(const FString& path, std::int32_t team) {
  return team > kHighestUncountedTeam && !std::u16string_view(*path).empty();
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

// A team's counts in view order from field and count pairs of a reply,
// from `first` on; fields this server does not count are left out.
std::vector<std::int32_t> CountsOf(const redisReply& reply, std::size_t first) {
  const Cluster& cluster = State();
  std::vector<std::int32_t> counts(cluster.fields.size());
  for (std::size_t i = first; i + 1 < reply.elements; i += 2) {
    const redisReply& field = *reply.element[i];
    const auto at = cluster.positions.find(std::string_view(field.str, field.len));
    if (at != cluster.positions.end()) {
      counts[at->second] = IntegerOf(*reply.element[i + 1]);
    }
  }
  return counts;
}

// Replaces this server's limits in Redis with those of the configuration in
// force, under a new version.
void PublishLimits(RedisLink& link) {
  Cluster& cluster = State();
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::int32_t> everyone = LimitsInOrder();
  LimitFields limits;
  limits.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    limits.emplace_back(fields[i], everyone[i]);
  }
  for (const auto& [team, own] : Limits().Teams()) {
    for (const auto& [position, limit] : OwnLimitsInOrder(team)) {
      limits.emplace_back(TeamLimitField(team, fields[position]), limit);
    }
  }
  std::string version = fmt::format("{:08x}{:08x}", std::random_device{}(), ++cluster.publications);
  link.Run(LimitsCalls(*cluster.keys, version, limits));
  cluster.limits_version = std::move(version);
}

// This server's counts by team.
OwnCounts CountsByTeam() {
  OwnCounts own;
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

// Ends what a publication left behind: its failure takes the link down;
// the teams it found values that are not counts for are judged locally.
void Settle(RedisLink& link) {
  Cluster& cluster = State();
  for (const auto& [team, why] : cluster.publisher->TakeProblems()) {
    JudgeLocally(team, why);
  }
  if (std::optional<std::string> failure = cluster.publisher->TakeFailure()) {
    link.Fail(*failure);
    throw LinkDown(*failure);
  }
}

// The cluster's move sequence, read before a snapshot of this server's
// counts is taken.
std::int64_t MoveSequence(RedisLink& link) {
  const Reply reply = link.Run(Command{"GET", MoveSequenceKey(*State().keys)});
  return reply->type == REDIS_REPLY_STRING ? std::strtoll(reply->str, nullptr, 10) : 0;
}

}  // namespace

void StartCluster(const std::optional<ClusterSettings>& settings) {
  StopCluster();
  if (!settings) {
    return;
  }
  Cluster& cluster = State();
  cluster.keys = std::make_unique<KeyNames>(settings->name, settings->server);
  cluster.publisher = std::make_unique<Publisher>(*settings, *cluster.keys);
  cluster.link = std::make_unique<RedisLink>(*settings, [] { PublishContribution(); });
  cluster.link->Start();
}

void StopCluster() {
  Cluster& cluster = State();
  cluster.link.reset();
  cluster.publisher.reset();
  cluster.keys.reset();
  cluster.fields.clear();
  cluster.local_teams.clear();
  cluster.said_bad.clear();
  cluster.longest_publication_wait = {};
}

namespace {

// The verdict in the placement script's answer.
ClusterVerdict VerdictOf(const redisReply& reply, std::span<const std::uint32_t> positions) {
  const Cluster& cluster = State();
  ClusterVerdict verdict;
  verdict.allowed = IntegerOf(*reply.element[0]) == 0;
  std::vector<std::int32_t> counts = CountsOf(reply, 2);
  if (verdict.allowed) {
    for (const std::uint32_t position : positions) {
      counts[position] = Plus(counts[position], 1);
    }
  } else {
    const redisReply& field = *reply.element[1];
    const auto at = cluster.positions.find(std::string_view(field.str, field.len));
    if (at != cluster.positions.end()) {
      verdict.refused_at = at->second;
    }
  }
  verdict.after = TeamView(std::move(counts));
  return verdict;
}

JudgedBy JudgeOf(std::int32_t team, std::uint64_t steam_id) {
  if (ExemptAdmin(steam_id)) {
    return JudgedBy::kNoLimits;
  }
  return Limits().LimitsOf(team) != nullptr ? JudgedBy::kOwnLimits : JudgedBy::kEveryonesLimits;
}

// Runs the placement script, counting the placement in what a publication
// being sent sends again.
std::optional<ClusterVerdict> RunPlacement(RedisLink& link, std::int32_t team, JudgedBy judged,
                                           std::span<const std::uint32_t> positions) {
  Cluster& cluster = State();
  std::vector<std::string> counted_at;
  counted_at.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    counted_at.push_back(cluster.fields[position]);
  }
  // A second try when Redis no longer holds the limits (it restarted, or
  // was emptied): they are published again first.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (cluster.limits_version.empty()) {
      PublishLimits(link);
    }
    std::optional<ClusterVerdict> verdict;
    bool stale_limits = false;
    cluster.publisher->Changing([&]() -> std::optional<ContributionChange> {
      const Reply reply = link.RunScript(
          Script::kPlace,
          PlaceCall(*cluster.keys, team, cluster.limits_version, judged, counted_at));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(team, *why);
        return std::nullopt;
      }
      if (reply->type != REDIS_REPLY_ARRAY || reply->elements == 0) {
        link.Fail("the placement script answered something else than its counts");
        return std::nullopt;
      }
      if (IntegerOf(*reply->element[0]) < 0) {
        stale_limits = true;
        return std::nullopt;
      }
      if (reply->elements % 2 != 0) {
        link.Fail("the placement script answered something else than its counts");
        return std::nullopt;
      }
      verdict = VerdictOf(*reply, positions);
      if (!verdict->allowed) {
        return std::nullopt;
      }
      ContributionChange change{team, {}, std::nullopt, false};
      for (const std::uint32_t position : positions) {
        change.deltas.emplace_back(position, 1);
      }
      return change;
    });
    if (!stale_limits) {
      return verdict;
    }
    cluster.limits_version.clear();
  }
  link.Fail("this server's limits do not stay in Redis; is another server named \"" +
            link.Settings().server + "\"?");
  return std::nullopt;
}

}  // namespace

std::optional<ClusterVerdict> ClusterPlace(const FString& path, const PathFacts& facts,
                                           std::int32_t team, std::uint64_t steam_id) {
  if (!Counted(path, team) || JudgedLocally(team)) {
    return std::nullopt;
  }
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return std::nullopt;
  }
  Fields();
  try {
    return RunPlacement(*link, team, JudgeOf(team, steam_id), PositionsOf(facts));
  } catch (const LinkDown&) {
    // Judged by this server's counts; published whole when the link is back.
  }
  return std::nullopt;
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
  std::vector<std::pair<std::string, std::int32_t>> changes;
  ContributionChange counted{team, {}, std::nullopt, false};
  for (const std::uint32_t position : PositionsOf(FactsOfPath(path.View()))) {
    changes.emplace_back(fields[position], change);
    counted.deltas.emplace_back(position, change);
  }
  try {
    State().publisher->Changing([&]() -> std::optional<ContributionChange> {
      const Reply reply =
          link->RunScript(Script::kChange, ChangeCall(*State().keys, team, changes));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(team, *why);
      }
      // Sent again either way: this server's counts changed.
      return counted;
    });
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

namespace {

// Runs the join script; its answer, or none when it could not be used.
Reply RunJoin(RedisLink& link, std::int32_t from, std::int32_t to, bool judged) {
  Cluster& cluster = State();
  Reply answer;
  for (int attempt = 0; attempt < 2 && answer == nullptr; ++attempt) {
    if (judged && cluster.limits_version.empty()) {
      PublishLimits(link);
    }
    cluster.publisher->Changing([&]() -> std::optional<ContributionChange> {
      Reply reply = link.RunScript(
          Script::kJoin, JoinCall(*cluster.keys, from, to, cluster.limits_version, judged));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(from, *why);
        JudgeLocally(to, *why);
        return std::nullopt;
      }
      if (reply->type != REDIS_REPLY_ARRAY || reply->elements == 0) {
        link.Fail("the join script answered something else than what it moved");
        return std::nullopt;
      }
      const std::int32_t outcome = IntegerOf(*reply->element[0]);
      if (outcome < 0) {
        cluster.limits_version.clear();
        return std::nullopt;
      }
      answer = std::move(reply);
      if (outcome != 0) {
        return std::nullopt;
      }
      return ContributionChange{from, {}, to, false};
    });
  }
  return answer;
}

}  // namespace

void ClusterMove(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || from <= kHighestUncountedTeam) {
    return;
  }
  try {
    RunJoin(*link, from, to, false);
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

std::optional<ClusterJoinVerdict> ClusterJoin(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || JudgedLocally(from) || JudgedLocally(to)) {
    return std::nullopt;
  }
  Fields();
  try {
    const Reply reply = RunJoin(*link, from, to, true);
    if (reply == nullptr) {
      return std::nullopt;
    }
    ClusterJoinVerdict verdict;
    verdict.allowed = IntegerOf(*reply->element[0]) == 0;
    if (!verdict.allowed && reply->elements > 1) {
      const redisReply& field = *reply->element[1];
      const auto at = State().positions.find(std::string_view(field.str, field.len));
      if (at != State().positions.end()) {
        verdict.refused_at = at->second;
      }
    }
    for (std::size_t i = 2; verdict.allowed && i < reply->elements; ++i) {
      const redisReply& part = *reply->element[i];
      verdict.moved.push_back(part.type == REDIS_REPLY_INTEGER ? std::to_string(part.integer)
                                                               : std::string(part.str, part.len));
    }
    return verdict;
  } catch (const LinkDown&) {
    return std::nullopt;
  }
}

void ClusterUnjoin(std::int32_t from, std::int32_t to, const std::vector<std::string>& moved) {
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return;
  }
  try {
    State().publisher->Changing([&]() -> std::optional<ContributionChange> {
      const Reply reply =
          link->RunScript(Script::kUnjoin, UnjoinCall(*State().keys, from, to, moved));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(from, *why);
        JudgeLocally(to, *why);
      }
      return ContributionChange{from, {}, to, true};
    });
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

std::optional<TeamView> ClusterTeamView(std::int32_t team) {
  RedisLink* link = UsableLink();
  if (link == nullptr || JudgedLocally(team)) {
    return std::nullopt;
  }
  try {
    const Reply reply = link->Run(Command{"HGETALL", State().keys->Aggregate(team)});
    Fields();
    return TeamView(CountsOf(*reply, 0));
  } catch (const LinkDown&) {
    return std::nullopt;
  }
}

void PublishContribution() {
  Cluster& cluster = State();
  RedisLink* link = cluster.link.get();
  if (link == nullptr || !link->Up()) {
    return;
  }
  cluster.local_teams.clear();
  try {
    const std::int64_t sequence = MoveSequence(*link);
    cluster.publisher->Publish({Fields(), CountsByTeam(), sequence});
  } catch (const LinkDown&) {
    return;  // published whole when the link is back
  }
  // A small contribution is sent by the time this wait ends; a large one
  // goes on in the background.
  const auto asked = std::chrono::steady_clock::now();
  cluster.publisher->Wait(link->Settings().timeout);
  cluster.longest_publication_wait =
      std::max(cluster.longest_publication_wait,
               std::chrono::nanoseconds(std::chrono::steady_clock::now() - asked));
  try {
    Settle(*link);
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

bool ClusterPublishing() {
  const Cluster& cluster = State();
  return cluster.publisher != nullptr && cluster.publisher->Busy();
}

std::chrono::nanoseconds ClusterLongestWait() {
  const Cluster& cluster = State();
  return cluster.link != nullptr
             ? std::max(cluster.link->LongestWait(), cluster.longest_publication_wait)
             : std::chrono::nanoseconds(0);
}

}  // namespace cairnward
