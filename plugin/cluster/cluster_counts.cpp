#include "cluster/cluster_counts.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "cluster/cluster_parts.h"
#include "cluster/field_layout.h"
#include "cluster/key_names.h"
#include "cluster/publisher.h"
#include "cluster/redis_link.h"
#include "cluster/repair_runner.h"
#include "cluster/script_calls.h"
#include "config/config.h"
#include "host/logger.h"

namespace cairnward {
namespace {

// A contribution of at most this many teams (one round of pieces in
// flight) is waited for, with half the hook's time, so that the call or the
// check after it meets it in Redis; a larger one would not be in by then,
// and goes on in the background while the game thread goes on.
constexpr std::size_t kTeamsWaitedFor = 400;

struct Cluster {
  std::unique_ptr<RedisLink> link;
  std::unique_ptr<KeyNames> keys;
  std::unique_ptr<Publisher> publisher;
  std::unique_ptr<RepairRunner> repairs;
  // Teams whose counts are to be sent again once no publication is being
  // sent: changed while one was (it may have overwritten the change), or
  // changed when the hook had no time left to send the change.
  FlatHashMap<std::int32_t, bool> resend;
  // Teams Redis holds a value that is not a count for: judged by this
  // server's counts until its next publication, and each said once.
  FlatHashMap<std::int32_t, bool> local_teams;
  FlatHashMap<std::int32_t, bool> said_bad;
  // The hook's one deadline for every wait on Redis while a budget is open.
  std::optional<RedisConnection::Clock::time_point> deadline;
  RedisConnection::Clock::time_point budget_opened;
  std::chrono::nanoseconds longest_hook_wait{0};
  FieldLayout layout;
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
void AwaitPublication();

// The cluster's link when it may be used now, else null.
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

// Whether the hook's deadline leaves time for a call. A call it has no time
// for is not sent: the hook judges by this server's counts, and the teams
// the call would have changed are sent later.
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

// Waits for the publication in flight with half the time the hook has
// left, keeping the rest for the call that follows.
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
  const FieldLayout& layout = State().layout;
  std::vector<std::int32_t> counts(layout.Fields().size());
  for (std::size_t i = first; i + 1 < reply.elements; i += 2) {
    const redisReply& field = *reply.element[i];
    if (const auto at = layout.PositionOf(std::string_view(field.str, field.len))) {
      counts[*at] = IntegerOf(*reply.element[i + 1]);
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
    for (const auto& [position, limit] : TeamLimitsInOrder(team)) {
      limits.emplace_back(TeamLimitField(team, fields[position]), limit);
    }
  }
  std::string version = fmt::format("{:08x}{:08x}", std::random_device{}(), ++cluster.publications);
  std::vector<Command> calls = LimitsCalls(*cluster.keys, version, limits);
  // Kept first: a republish by the heartbeat then sends this version.
  cluster.publisher->KeepLimits(calls);
  link.Run(calls);
  cluster.limits_version = std::move(version);
}

// Once no publication is being sent, the teams to send again are sent
// from this server's counts as they are now.
void Settle(RedisLink& link) {
  Cluster& cluster = State();
  for (const auto& [team, why] : cluster.publisher->TakeProblems()) {
    JudgeLocally(team, why);
  }
  if (cluster.resend.empty() || cluster.publisher->Busy() || !TimeLeft()) {
    return;
  }
  OwnCounts counts;
  std::vector<std::int32_t> dropped;
  for (const auto& [team, changed] : cluster.resend) {
    TeamCountPairs own = CountsAboveZero(LocalTeamView(team).Counts());
    cluster.publisher->Set(team, own);
    if (own.empty()) {
      dropped.push_back(team);
    } else {
      counts[team] = std::move(own);
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

}  // namespace

void StartCluster(const std::optional<ClusterSettings>& settings) {
  StopCluster();
  if (!settings) {
    return;
  }
  Cluster& cluster = State();
  cluster.keys = std::make_unique<KeyNames>(settings->name, settings->server);
  cluster.publisher = std::make_unique<Publisher>(*settings, *cluster.keys);
  cluster.repairs = std::make_unique<RepairRunner>(*settings, *cluster.keys);
  // The heartbeat found that Redis lost this server's data: its limits and
  // its contribution go back from the link's thread, without waiting for
  // the game thread.
  Publisher* publisher = cluster.publisher.get();
  cluster.link = std::make_unique<RedisLink>(*settings, *cluster.keys,
                                             [publisher] { publisher->Republish(); });
  cluster.link->Start();
}

void StopCluster() {
  Cluster& cluster = State();
  cluster.repairs.reset();
  cluster.link.reset();
  cluster.publisher.reset();
  cluster.keys.reset();
  cluster.layout = FieldLayout();
  cluster.resend.clear();
  cluster.local_teams.clear();
  cluster.said_bad.clear();
  cluster.deadline.reset();
  cluster.longest_hook_wait = {};
}

namespace {

// The verdict in the placement script's answer {0 or 1, the field that
// refused, the aggregate before as pairs}.
ClusterVerdict VerdictOf(const redisReply& reply, std::span<const std::uint32_t> positions) {
  const FieldLayout& layout = State().layout;
  ClusterVerdict verdict;
  verdict.allowed = IntegerOf(*reply.element[0]) == 0;
  std::vector<std::int32_t> counts = CountsOf(reply, 2);
  if (verdict.allowed) {
    for (const std::uint32_t position : positions) {
      counts[position] = Plus(counts[position], 1);
    }
  } else {
    const redisReply& field = *reply.element[1];
    verdict.refused_at = layout.PositionOf(std::string_view(field.str, field.len));
  }
  verdict.after = TeamView(std::move(counts));
  return verdict;
}

JudgedBy JudgeOf(std::int32_t team, std::uint64_t steam_id) {
  if (Exempt(steam_id)) {
    return JudgedBy::kNoLimits;
  }
  return Limits().LimitsOf(team) != nullptr ? JudgedBy::kOwnLimits : JudgedBy::kEveryonesLimits;
}

// What the placement script answered: a verdict, none (judged here), or
// that Redis no longer holds this server's limits.
struct PlaceAnswer {
  std::optional<ClusterVerdict> verdict;
  bool limits_missing = false;
};

PlaceAnswer RunPlacement(RedisLink& link, std::int32_t team, JudgedBy judged,
                         std::span<const std::uint32_t> positions,
                         const std::vector<std::string>& counted_at) {
  Cluster& cluster = State();
  PlaceAnswer answer;
  cluster.publisher->Changing([&] {
    const Reply reply = link.RunScript(
        Script::kPlace, PlaceCall(*cluster.keys, team, cluster.limits_version, judged, counted_at));
    if (const std::optional<std::string> why = BadValue(*reply)) {
      JudgeLocally(team, *why);
      return;
    }
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements == 0) {
      link.Fail("the placement script answered something else than its counts");
      return;
    }
    if (IntegerOf(*reply->element[0]) < 0) {
      answer.limits_missing = true;
      return;
    }
    if (reply->elements % 2 != 0) {
      link.Fail("the placement script answered something else than its counts");
      return;
    }
    answer.verdict = VerdictOf(*reply, positions);
    if (answer.verdict->allowed) {
      cluster.publisher->Count(team, positions, +1);
    }
  });
  return answer;
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
  Cluster& cluster = State();
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::uint32_t> positions = PositionsOf(facts);
  std::vector<std::string> counted_at;
  counted_at.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    counted_at.push_back(fields[position]);
  }
  try {
    // A second try when Redis no longer holds the limits (it restarted, or
    // was emptied): they are published again first, and so is the
    // contribution, which Redis has lost with them.
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!TimeLeftFor({team})) {
        return std::nullopt;
      }
      if (cluster.limits_version.empty()) {
        PublishLimits(*link);
      }
      if (!TimeLeftFor({team})) {
        return std::nullopt;
      }
      PlaceAnswer answer =
          RunPlacement(*link, team, JudgeOf(team, steam_id), positions, counted_at);
      if (!answer.limits_missing) {
        return std::move(answer.verdict);
      }
      cluster.limits_version.clear();
      cluster.publisher->Republish();
      AwaitPublication();
      if (cluster.publisher->Busy()) {
        return std::nullopt;  // judged here until the contribution is back
      }
    }
    link->Fail("this server's limits do not stay in Redis; is another server named \"" +
               link->Settings().server + "\"?");
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
  Cluster& cluster = State();
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::uint32_t> positions = PositionsOf(FactsOfPath(path.View()));
  std::vector<std::pair<std::string, std::int32_t>> changes;
  changes.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    changes.emplace_back(fields[position], change);
  }
  if (!TimeLeftFor({team})) {
    cluster.publisher->Count(team, positions, change);
    return;
  }
  try {
    cluster.publisher->Changing([&] {
      cluster.publisher->Count(team, positions, change);
      const Reply reply =
          link->RunScript(Script::kChange, ChangeCall(*cluster.keys, team, changes));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(team, *why);
      }
    });
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

namespace {

// Runs the join script, judged by this server's limits or not; its
// answer, or null when it gave none to go by.
Reply RunJoin(RedisLink& link, std::int32_t from, std::int32_t to, bool judged) {
  Cluster& cluster = State();
  Reply answer;
  for (int attempt = 0; attempt < 2 && answer == nullptr; ++attempt) {
    if (judged && cluster.limits_version.empty()) {
      PublishLimits(link);
    }
    bool stop = false;
    cluster.publisher->Changing([&] {
      Reply reply = link.RunScript(
          Script::kJoin, JoinCall(*cluster.keys, from, to, cluster.limits_version, judged));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(from, *why);
        JudgeLocally(to, *why);
        stop = true;
        return;
      }
      if (reply->type != REDIS_REPLY_ARRAY || reply->elements == 0) {
        link.Fail("the join script answered something else than what it moved");
        stop = true;
        return;
      }
      const std::int32_t outcome = IntegerOf(*reply->element[0]);
      if (outcome < 0) {
        cluster.limits_version.clear();
        return;
      }
      if (outcome == 0) {
        cluster.publisher->Move(from, to);
      }
      answer = std::move(reply);
    });
    if (stop) {
      break;
    }
  }
  return answer;
}

}  // namespace

void ClusterMove(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || from <= kHighestUncountedTeam) {
    return;
  }
  if (!TimeLeftFor({from, to})) {
    State().publisher->Move(from, to);
    return;
  }
  try {
    if (RunJoin(*link, from, to, false) == nullptr) {
      State().publisher->Move(from, to);
    }
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

std::optional<ClusterJoinVerdict> ClusterJoin(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || JudgedLocally(from) || JudgedLocally(to) || !TimeLeft()) {
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
      verdict.refused_at = State().layout.PositionOf(std::string_view(field.str, field.len));
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

namespace {

// What a join moved of this server's own contribution goes back in what
// the publisher keeps: `moved` is per server, its name, n, then n field and
// count pairs.
void KeepMovedBack(std::int32_t from, std::int32_t to, const std::vector<std::string>& moved) {
  Cluster& cluster = State();
  for (std::size_t i = 0; i + 1 < moved.size();) {
    const bool ours = moved[i] == cluster.keys->Server();
    std::size_t n = 0;
    std::from_chars(moved[i + 1].data(), moved[i + 1].data() + moved[i + 1].size(), n);
    i += 2;
    for (std::size_t k = 0; k < n && i + 1 < moved.size(); ++k, i += 2) {
      const std::optional<std::uint32_t> at = cluster.layout.PositionOf(moved[i]);
      std::int32_t count = 0;
      std::from_chars(moved[i + 1].data(), moved[i + 1].data() + moved[i + 1].size(), count);
      if (ours && at) {
        const std::uint32_t position = *at;
        cluster.publisher->Count(to, {&position, 1}, -count);
        cluster.publisher->Count(from, {&position, 1}, count);
      }
    }
  }
}

}  // namespace

void ClusterUnjoin(std::int32_t from, std::int32_t to, const std::vector<std::string>& moved) {
  RedisLink* link = UsableLink();
  if (link == nullptr) {
    return;
  }
  Cluster& cluster = State();
  try {
    cluster.publisher->Changing([&] {
      KeepMovedBack(from, to, moved);
      const Reply reply =
          link->RunScript(Script::kUnjoin, UnjoinCall(*cluster.keys, from, to, moved));
      if (const std::optional<std::string> why = BadValue(*reply)) {
        JudgeLocally(from, *why);
        JudgeLocally(to, *why);
      }
    });
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

std::optional<TeamView> ClusterTeamView(std::int32_t team) {
  auto views = ClusterTeamViews(std::span<const std::int32_t>(&team, 1));
  if (!views || !views->front()) {
    return std::nullopt;
  }
  return std::move(*views->front());
}

std::optional<std::vector<std::optional<TeamView>>> ClusterTeamViews(
    std::span<const std::int32_t> teams) {
  RedisLink* link = UsableLink();
  if (link == nullptr || !TimeLeft()) {
    return std::nullopt;
  }
  // Teams judged by this server's counts are not asked about.
  std::vector<Command> reads;
  for (const std::int32_t team : teams) {
    if (!JudgedLocally(team)) {
      reads.push_back(Command{"HGETALL", State().keys->Aggregate(team)});
    }
  }
  try {
    const std::vector<Reply> replies = reads.empty() ? std::vector<Reply>() : link->Run(reads);
    Fields();
    std::vector<std::optional<TeamView>> views(teams.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < teams.size(); ++i) {
      if (!JudgedLocally(teams[i])) {
        views[i] = TeamView(CountsOf(*replies[next++], 0));
      }
    }
    return views;
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
  cluster.resend.clear();
  cluster.local_teams.clear();
  LocalCountsCopy copy = LocalCountsCopy::Take();
  const bool small = copy.Teams() <= kTeamsWaitedFor;
  cluster.publisher->Publish({Fields(), std::move(copy), link->MoveSequence()});
  if (small) {
    AwaitPublication();
  }
  try {
    Settle(*link);
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

bool ClusterConfigured() {
  return State().link != nullptr;
}

ClusterParts CurrentClusterParts() {
  Cluster& cluster = State();
  return {cluster.link.get(), cluster.keys.get(), cluster.publisher.get(), cluster.repairs.get()};
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
  return cluster.link != nullptr ? std::max(cluster.link->LongestWait(), cluster.longest_hook_wait)
                                 : std::chrono::nanoseconds(0);
}

ClusterBudget::ClusterBudget() {
  Cluster& cluster = State();
  if (cluster.link == nullptr || cluster.deadline) {
    return;
  }
  opened_ = true;
  cluster.budget_opened = RedisConnection::Clock::now();
  cluster.deadline = cluster.budget_opened + cluster.link->Settings().timeout;
  cluster.link->SetDeadline(cluster.deadline);
}

ClusterBudget::~ClusterBudget() {
  Cluster& cluster = State();
  if (!opened_ || cluster.link == nullptr) {
    return;
  }
  cluster.longest_hook_wait =
      std::max(cluster.longest_hook_wait,
               std::chrono::nanoseconds(RedisConnection::Clock::now() - cluster.budget_opened));
  cluster.deadline.reset();
  cluster.link->SetDeadline(std::nullopt);
}

}  // namespace cairnward
