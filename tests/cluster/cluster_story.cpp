#include "cluster/cluster_story.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace cairnward::testing {

PeerServer::PeerServer(const ClusterSettings& cluster, std::string server)
    : keys_(cluster.name, server) {
  ClusterSettings own = cluster;
  own.server = std::move(server);
  link_ = std::make_unique<RedisLink>(own, keys_, [this] { lost_ = true; });
  link_->Start();
}

bool PeerServer::Up() {
  if (link_->Poll() || lost_.exchange(false)) {
    Recount();
  }
  return link_->Up();
}

bool PeerServer::Place(std::int32_t team, std::size_t position, const Counts& limits) {
  Counts& own = world_[team];
  bool allowed = own[kTotal] < limits[kTotal] && own[position] < limits[position];
  if (Up()) {
    LimitFields published;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
      published.emplace_back(kFields[i], limits[i]);
    }
    const std::vector<std::string> counted_at{kFields[kTotal], kFields[position]};
    try {
      link_->Run(LimitsCalls(keys_, "peer", published));
      allowed = link_
                    ->RunScript(Script::kPlace, PlaceCall(keys_, team, "peer",
                                                          JudgedBy::kEveryonesLimits, counted_at))
                    ->element[0]
                    ->integer == 0;
    } catch (const LinkDown&) {
      // Counted by its own world, published when the link is back.
    }
  }
  if (allowed) {
    ++own[kTotal];
    ++own[position];
  }
  return allowed;
}

void PeerServer::Remove(std::int32_t team, std::size_t position) {
  Counts& own = world_[team];
  if (own[position] == 0) {
    return;
  }
  --own[kTotal];
  --own[position];
  if (Up()) {
    const std::vector<std::pair<std::string, std::int32_t>> changes{{kFields[kTotal], -1},
                                                                    {kFields[position], -1}};
    try {
      link_->RunScript(Script::kChange, ChangeCall(keys_, team, changes));
    } catch (const LinkDown&) {
      // Published when the link is back.
    }
  }
}

bool PeerServer::Recount() {
  if (!Up()) {
    return false;
  }
  try {
    const Reply held = link_->Run(Command{"SMEMBERS", keys_.ServerTeams()});
    std::vector<std::int32_t> dropped;
    for (std::size_t i = 0; i < held->elements; ++i) {
      const std::int32_t team = TeamOfMember(held->element[i]->str);
      if (world_.count(team) == 0) {
        dropped.push_back(team);
      }
    }
    OwnCounts counts;
    for (const auto& [team, world_counts] : world_) {
      counts[team] = CountsAboveZero(world_counts);
    }
    link_->RunScripts(Script::kReplace, ReplaceCalls(keys_, kFields, counts, dropped));
    return true;
  } catch (const LinkDown&) {
    return false;
  }
}

void PeerServer::FollowJoin(std::int32_t from, std::int32_t to) {
  const auto it = world_.find(from);
  if (it == world_.end()) {
    return;
  }
  const Counts moved = it->second;
  world_.erase(it);
  if (to > 1000) {
    for (std::size_t i = 0; i < moved.size(); ++i) {
      world_[to][i] += moved[i];
    }
  }
}

ClusterSettings ClusterStory::Settings(const std::string& server) const {
  ClusterSettings settings;
  settings.host = "127.0.0.1";
  settings.port = port_;
  settings.password = password_;
  settings.name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  settings.server = server;
  settings.timeout = std::chrono::milliseconds(200);
  settings.retry = std::chrono::milliseconds(20);
  return settings;
}

void ClusterStory::JoinCluster(int port, const std::string& password) {
  ConfigureCluster(port, password);
  AttachPlugin();
}

void ClusterStory::ConfigureCluster(int port, const std::string& password) {
  port_ = port;
  password_ = password;
  const ClusterSettings settings = Settings("A1");
  Config()["Cluster"] = {{"Port", port},
                         {"Password", password},
                         {"Name", settings.name},
                         {"Server", "A1"},
                         {"TimeoutMs", settings.timeout.count()},
                         {"RetryMs", settings.retry.count()}};
  Configure();
}

Counts ClusterStory::Aggregate(std::int32_t team) const {
  const ClusterSettings settings = Settings("A1");
  redisContext* context = redisConnect("127.0.0.1", port_);
  Counts counts{};
  if (!password_.empty()) {
    freeReplyObject(redisCommand(context, "AUTH %s", password_.c_str()));
  }
  const KeyNames keys(settings.name, "A1");
  const std::string key = keys.Aggregate(team);
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    auto* reply = static_cast<redisReply*>(redisCommand(
        context, "HGET %b %b", key.data(), key.size(), kFields[i].data(), kFields[i].size()));
    if (reply != nullptr && reply->type == REDIS_REPLY_STRING) {
      counts[i] = std::stoi(reply->str);
    }
    freeReplyObject(reply);
  }
  redisFree(context);
  return counts;
}

Counts ClusterStory::Local(std::int32_t team) {
  return {TeamTotal(team), std::max(0, CountOf(kFoundation, team)),
          std::max(0, CountOf(kWall, team))};
}

}  // namespace cairnward::testing
