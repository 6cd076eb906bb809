#include "cluster/cluster_counts.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "accounting/ledger.h"
#include "cluster/cluster_parts.h"
#include "cluster/cluster_state.h"
#include "cluster/script_calls.h"

namespace cairnward {

using cluster_mode::AwaitPublication;
using cluster_mode::Cluster;
using cluster_mode::CountsOf;
using cluster_mode::Fields;
using cluster_mode::JudgedLocally;
using cluster_mode::kTeamsWaitedFor;
using cluster_mode::ResendPendingTeams;
using cluster_mode::State;
using cluster_mode::TimeLeft;
using cluster_mode::UsableLink;

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
    ResendPendingTeams(*link);
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
