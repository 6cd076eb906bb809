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

namespace cairnward {
namespace {

struct Cluster {
  std::unique_ptr<RedisLink> link;
  std::unique_ptr<KeyNames> keys;
  std::unique_ptr<Publisher> publisher;
  std::unique_ptr<RepairRunner> repairs;
  // Teams whose counts are to be sent again once no publication is being
  // sent: changed while one was (it may have overwritten the change), or
  // changed when the hook had no time left to send the change.
  FlatHashMap<std::int32_t, bool> resend;
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

void NoteChange(std::int32_t team) {
  Cluster& cluster = State();
  if (team > kHighestUncountedTeam && cluster.publisher->Busy()) {
    cluster.resend[team] = true;
  }
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
    for (const auto& [position, limit] : OwnLimitsInOrder(team)) {
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
  link.RunScripts(Script::kReplace, ReplaceCalls(*cluster.keys, Fields(), counts, dropped));
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
  cluster.deadline.reset();
  cluster.longest_hook_wait = {};
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
  Cluster& cluster = State();
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::uint32_t> positions = PositionsOf(facts);
  std::vector<std::string> counted_at;
  counted_at.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    counted_at.push_back(fields[position]);
  }
  JudgedBy judged = JudgedBy::kEveryonesLimits;
  if (ExemptAdmin(steam_id)) {
    judged = JudgedBy::kNoLimits;
  } else if (Limits().LimitsOf(team) != nullptr) {
    judged = JudgedBy::kOwnLimits;
  }
  NoteChange(team);
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
      const Reply reply = link->RunScript(
          Script::kPlace,
          PlaceCall(*cluster.keys, team, cluster.limits_version, judged, counted_at));
      if (reply->type != REDIS_REPLY_ARRAY || reply->elements % 2 != 1) {
        link->Fail("the placement script answered something else than its counts");
        return std::nullopt;
      }
      const std::int32_t outcome = IntegerOf(*reply->element[0]);
      if (outcome < 0) {
        cluster.limits_version.clear();
        cluster.publisher->Republish();
        NoteChange(team);
        AwaitPublication();
        if (cluster.publisher->Busy()) {
          return std::nullopt;  // judged here until the contribution is back
        }
        continue;
      }
      ClusterVerdict verdict;
      verdict.allowed = outcome == 0;
      std::vector<std::int32_t> counts = CountsOf(*reply, 1);
      if (verdict.allowed) {
        for (const std::uint32_t position : positions) {
          counts[position] = Plus(counts[position], 1);
        }
        cluster.publisher->Count(team, positions, +1);
      }
      verdict.after = TeamView(std::move(counts));
      return verdict;
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
  const std::vector<std::string>& fields = Fields();
  const std::vector<std::uint32_t> positions = PositionsOf(FactsOfPath(path.View()));
  std::vector<std::pair<std::string, std::int32_t>> changes;
  for (const std::uint32_t position : positions) {
    changes.emplace_back(fields[position], change);
  }
  State().publisher->Count(team, positions, change);
  NoteChange(team);
  if (!TimeLeftFor({team})) {
    return;
  }
  try {
    link->RunScript(Script::kChange, ChangeCall(*State().keys, team, changes));
  } catch (const LinkDown&) {
    // Published whole when the link is back.
  }
}

void ClusterMove(std::int32_t from, std::int32_t to) {
  RedisLink* link = UsableLink();
  if (link == nullptr || from <= kHighestUncountedTeam) {
    return;
  }
  State().publisher->Move(from, to);
  NoteChange(from);
  NoteChange(to);
  if (!TimeLeftFor({from, to})) {
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
  if (link == nullptr || !TimeLeft()) {
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
  cluster.resend.clear();
  cluster.publisher->Publish({Fields(), CountsByTeam()});
  // A small contribution is sent by the time this wait ends; a large one
  // goes on in the background.
  AwaitPublication();
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
