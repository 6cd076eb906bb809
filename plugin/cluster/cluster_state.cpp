#include "cluster/cluster_state.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "cluster/cluster_counts.h"
#include "cluster/script_calls.h"
#include "config/config.h"
#include "host/logger.h"

namespace cairnward::cluster_mode {

Cluster& State() {
  static Cluster cluster;
  return cluster;
}

RedisLink* UsableLink() {
  RedisLink* link = State().link.get();
  if (link == nullptr) {
    return nullptr;
  }
  if (link->Poll()) {
    // Redis may have lost everything while the link was down.
    PublishContribution();
  }
  if (!link->Up()) {
    return nullptr;
  }
  try {
    ResendPendingTeams(*link);
  } catch (const LinkDown&) {
    return nullptr;
  }
  return link;
}

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

std::optional<std::string> BadValue(const redisReply& reply) {
  if (reply.type != REDIS_REPLY_ARRAY || reply.elements < 2 ||
      reply.element[0]->type != REDIS_REPLY_INTEGER || reply.element[0]->integer != -2) {
    return std::nullopt;
  }
  const redisReply& why = *reply.element[reply.elements - 1];
  return std::string(why.str, why.len);
}

bool TimeLeft() {
  const Cluster& cluster = State();
  return !cluster.deadline || RedisConnection::Clock::now() < *cluster.deadline;
}

bool TimeLeftFor(std::initializer_list<std::int32_t> teams) {
  if (TimeLeft()) {
    return true;
  }
  for (const std::int32_t team : teams) {
    if (team > kHighestUncountedTeam) {
      State().resend[team] = true;
    }
  }
  return false;
}

void AwaitPublication() {
  Cluster& cluster = State();
  std::chrono::nanoseconds limit = cluster.link->Settings().timeout;
  if (cluster.deadline) {
    limit = std::max(std::chrono::nanoseconds(0),
                     (*cluster.deadline - RedisConnection::Clock::now()) / 2);
  }
  cluster.publisher->Wait(limit);
}

const std::vector<std::string>& Fields() {
  Cluster& cluster = State();
  if (cluster.layout.Refresh()) {
    cluster.limits_version.clear();
  }
  return cluster.layout.Fields();
}

bool Counted(const FString& path, std::int32_t team) {
  return team > kHighestUncountedTeam && !std::u16string_view(*path).empty();
}

std::int32_t ReplyInteger(const redisReply& reply) {
  if (reply.type == REDIS_REPLY_INTEGER) {
    return static_cast<std::int32_t>(reply.integer);
  }
  std::int32_t value = 0;
  if (reply.type == REDIS_REPLY_STRING) {
    std::from_chars(reply.str, reply.str + reply.len, value);
  }
  return value;
}

std::vector<std::int32_t> CountsOf(const redisReply& reply, std::size_t first) {
  const FieldLayout& layout = State().layout;
  std::vector<std::int32_t> counts(layout.Fields().size());
  for (std::size_t i = first; i + 1 < reply.elements; i += 2) {
    const redisReply& field = *reply.element[i];
    if (const auto at = layout.PositionOf(std::string_view(field.str, field.len))) {
      counts[*at] = ReplyInteger(*reply.element[i + 1]);
    }
  }
  return counts;
}

void PublishLimits(RedisLink& link) {
  Cluster& cluster = State();
  const std::vector<std::string>& fields = Fields();
  std::vector<std::int32_t> everyone = LimitsInOrder();
  LimitFields limits;
  limits.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    limits.emplace_back(fields[i], everyone[i]);
  }
  decltype(cluster.published_team_limits) by_team;
  for (const auto& [team, team_limits] : Limits().Teams()) {
    std::vector<std::pair<std::uint32_t, std::int32_t>>& of_team = by_team[team];
    of_team = TeamLimitsInOrder(team);
    for (const auto& [position, limit] : of_team) {
      limits.emplace_back(TeamLimitField(team, fields[position]), limit);
    }
  }
  std::string version = LimitsVersion(limits);
  std::vector<Command> calls = LimitsCalls(*cluster.keys, version, limits);
  // Kept first: a republish by the heartbeat then sends this version.
  cluster.publisher->KeepLimits(calls);
  link.Run(calls);
  cluster.limits_version = std::move(version);
  cluster.published_limits = std::move(everyone);
  cluster.published_team_limits = std::move(by_team);
}

std::int32_t PublishedLimit(std::int32_t team, std::uint32_t position) {
  const Cluster& cluster = State();
  if (const auto found = cluster.published_team_limits.find(team);
      found != cluster.published_team_limits.end()) {
    for (const auto& [at, limit] : found->second) {
      if (at == position) {
        return limit;
      }
    }
  }
  return cluster.published_limits[position];
}

void ResendPendingTeams(RedisLink& link) {
  Cluster& cluster = State();
  for (const auto& [team, why] : cluster.publisher->TakeProblems()) {
    JudgeLocally(team, why);
  }
  if (cluster.resend.empty() || cluster.publisher->Busy() || !TimeLeft()) {
    return;
  }
  ContributionsByTeam counts;
  std::vector<std::int32_t> dropped;
  for (const auto& [team, changed] : cluster.resend) {
    TeamCountPairs local = CountsAboveZero(LocalTeamView(team).Counts());
    cluster.publisher->Set(team, local);
    if (local.empty()) {
      dropped.push_back(team);
    } else {
      counts[team] = std::move(local);
    }
  }
  cluster.resend.clear();
  // From this server's counts as they are now: every join is in them.
  const std::int64_t sequence = link.MoveSequence();
  for (const Reply& reply :
       link.RunScripts(Script::kReplace,
                       ReplaceCalls(*cluster.keys, Fields(), counts, dropped, sequence, 100))) {
    for (const auto& [team, why] : ReplaceProblems(*reply)) {
      JudgeLocally(team, why);
    }
  }
}

}  // namespace cairnward::cluster_mode
