#include "cluster/cluster_counts.h"

#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "accounting/ledger.h"
#include "cluster/cluster_state.h"
#include "cluster/script_calls.h"

namespace cairnward {

using cluster_mode::BadValue;
using cluster_mode::Cluster;
using cluster_mode::Fields;
using cluster_mode::JudgedLocally;
using cluster_mode::JudgeLocally;
using cluster_mode::PublishLimits;
using cluster_mode::ReplyInteger;
using cluster_mode::State;
using cluster_mode::TimeLeft;
using cluster_mode::TimeLeftFor;
using cluster_mode::UsableLink;

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
      const std::int32_t outcome = ReplyInteger(*reply->element[0]);
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
    verdict.allowed = ReplyInteger(*reply->element[0]) == 0;
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

// What a join moved of this server's contribution goes back in what
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

}  // namespace cairnward
