#include "cluster/cluster_counts.h"

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "cluster/cluster_state.h"
#include "cluster/script_calls.h"
#include "config/config.h"

namespace cairnward {

using cluster_mode::AwaitPublication;
using cluster_mode::BadValue;
using cluster_mode::Cluster;
using cluster_mode::Counted;
using cluster_mode::CountsOf;
using cluster_mode::Fields;
using cluster_mode::JudgedLocally;
using cluster_mode::JudgeLocally;
using cluster_mode::PublishedLimit;
using cluster_mode::PublishLimits;
using cluster_mode::ReplyInteger;
using cluster_mode::State;
using cluster_mode::TimeLeftFor;
using cluster_mode::UsableLink;

namespace {

// The verdict in the placement script's answer: allowed {0, "", the
// counted fields' counts before}, whose counts after are all a warning
// reads; refused {1, the field, the aggregate as pairs}, which the refusal
// reads whole. None when the answer is neither.
std::optional<ClusterVerdict> VerdictOf(const redisReply& reply,
                                        std::span<const std::uint32_t> positions) {
  std::vector<std::int32_t> counts(State().layout.Fields().size());
  ClusterVerdict verdict;
  verdict.allowed = ReplyInteger(*reply.element[0]) == 0;
  if (verdict.allowed) {
    if (reply.elements != 2 + positions.size()) {
      return std::nullopt;
    }
    for (std::size_t i = 0; i < positions.size(); ++i) {
      counts[positions[i]] = Plus(ReplyInteger(*reply.element[2 + i]), 1);
    }
  } else if (reply.elements % 2 == 0) {
    counts = CountsOf(reply, 2);
  } else {
    return std::nullopt;
  }
  verdict.after = TeamView(std::move(counts));
  return verdict;
}

JudgedBy JudgeOf(std::int32_t team, std::uint64_t steam_id) {
  if (Exempt(steam_id)) {
    return JudgedBy::kExempt;
  }
  return Limits().LimitsOf(team) != nullptr ? JudgedBy::kTeamLimits : JudgedBy::kEveryonesLimits;
}

// What the placement script answered: a verdict, none (judged here), or
// that Redis no longer holds this server's limits.
struct PlaceAnswer {
  std::optional<ClusterVerdict> verdict;
  bool limits_missing = false;
};

PlaceAnswer RunPlacement(RedisLink& link, std::int32_t team, JudgedBy judged,
                         std::span<const std::uint32_t> positions) {
  Cluster& cluster = State();
  std::vector<CountedField> counted;
  counted.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    counted.push_back({cluster.layout.Fields()[position], PublishedLimit(team, position)});
  }
  PlaceAnswer answer;
  cluster.publisher->Changing([&] {
    const Reply reply = link.RunScript(
        Script::kPlace, PlaceCall(*cluster.keys, team, cluster.limits_version, judged, counted));
    if (const std::optional<std::string> why = BadValue(*reply)) {
      JudgeLocally(team, *why);
      return;
    }
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements == 0) {
      link.Fail("the placement script answered something else than its counts");
      return;
    }
    if (ReplyInteger(*reply->element[0]) < 0) {
      answer.limits_missing = true;
      return;
    }
    answer.verdict = VerdictOf(*reply, positions);
    if (!answer.verdict) {
      link.Fail("the placement script answered something else than its counts");
      return;
    }
    if (answer.verdict->allowed) {
      cluster.publisher->Count(team, positions, +1);
    }
  });
  return answer;
}

// Runs the placement, publishing this server's limits first when Redis
// does not hold them. A second try when Redis no longer holds them (it
// restarted, or was emptied): they are published again first, and so is the
// contribution, which Redis has lost with them.
std::optional<ClusterVerdict> PlaceWithLimits(RedisLink& link, std::int32_t team, JudgedBy judged,
                                              std::span<const std::uint32_t> positions) {
  Cluster& cluster = State();
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!TimeLeftFor({team})) {
      return std::nullopt;
    }
    if (cluster.limits_version.empty()) {
      PublishLimits(link);
    }
    if (!TimeLeftFor({team})) {
      return std::nullopt;
    }
    PlaceAnswer answer = RunPlacement(link, team, judged, positions);
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
  const std::vector<std::uint32_t> positions = PositionsOf(facts);
  try {
    return PlaceWithLimits(*link, team, JudgeOf(team, steam_id), positions);
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

}  // namespace cairnward
