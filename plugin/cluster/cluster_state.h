#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/fstring.h"
#include "cluster/field_layout.h"
#include "cluster/key_names.h"
#include "cluster/publisher.h"
#include "cluster/redis_link.h"
#include "cluster/repair_runner.h"
#include "host/flat_hash_map.h"

// Cluster mode's state on the game thread, and what its calls
// (cluster_counts.h) share: the usable link, the teams judged by this
// server's counts, the hook's deadline and this server's limits in Redis.
namespace cairnward::cluster_mode {

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
  // The limits published under it, by position: everyone's, and each
  // team's where "Teams" gives it one.
  std::vector<std::int32_t> published_limits;
  FlatHashMap<std::int32_t, std::vector<std::pair<std::uint32_t, std::int32_t>>>
      published_team_limits;
  std::uint32_t publications = 0;
};

Cluster& State();

// The cluster's link when it may be used now, else null. Takes over a new
// connection, republishing, and sends the teams waiting to be sent again.
RedisLink* UsableLink();

// A value in Redis that is not a count is the team's problem, never the
// link's: the team is judged by this server's counts, and it is said once.
void JudgeLocally(std::int32_t team, std::string_view why);
bool JudgedLocally(std::int32_t team);
// The reason in a script's answer {-2, why} or {-2, team, why}.
std::optional<std::string> BadValue(const redisReply& reply);

// Whether the hook's deadline leaves time for a call. A call it has no time
// for is not sent: the hook judges by this server's counts, and the teams
// the call would have changed (TimeLeftFor) are sent later.
bool TimeLeft();
bool TimeLeftFor(std::initializer_list<std::int32_t> teams);
// Waits for the publication in flight with half the time the hook has
// left, keeping the rest for the call that follows.
void AwaitPublication();

// The fields of the counts in view order, as the configuration now has them.
const std::vector<std::string>& Fields();
// Whether a structure of the path by the team is counted at all.
bool Counted(const FString& path, std::int32_t team);
// An integer reply, or a string reply holding one; 0 for anything else.
std::int32_t ReplyInteger(const redisReply& reply);
// A team's counts in view order from field and count pairs of a reply,
// from `first` on; fields this server does not count are left out.
std::vector<std::int32_t> CountsOf(const redisReply& reply, std::size_t first);
// Once no publication is being sent, the teams to send again are sent from
// this server's counts as they are now; the problems the publication met
// are taken first (their teams are judged here).
void ResendPendingTeams(RedisLink& link);
// Replaces this server's limits in Redis with those of the configuration in
// force, under their version.
void PublishLimits(RedisLink& link);
// The team's limit at a position among the limits last published.
std::int32_t PublishedLimit(std::int32_t team, std::uint32_t position);

}  // namespace cairnward::cluster_mode
