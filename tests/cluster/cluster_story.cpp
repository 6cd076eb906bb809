#include "cluster/cluster_story.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "support/redis_server.h"

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
    const std::vector<CountedField> counted{{kFields[kTotal], limits[kTotal]},
                                            {kFields[position], limits[position]}};
    try {
      const std::string version = PublishLimits(limits);
      allowed = link_
                    ->RunScript(Script::kPlace, PlaceCall(keys_, team, version,
                                                          JudgedBy::kEveryonesLimits, counted))
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

std::string PeerServer::PublishLimits(const Counts& limits) {
  LimitFields published;
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    published.emplace_back(kFields[i], limits[i]);
  }
  std::string version = LimitsVersion(published);
  link_->Run(LimitsCalls(keys_, version, published));
  return version;
}

bool PeerServer::Recount() {
  const std::optional<Snapshot> snapshot = TakeSnapshot();
  return snapshot && Send(*snapshot);
}

std::optional<PeerServer::Snapshot> PeerServer::TakeSnapshot() {
  if (!Up()) {
    return std::nullopt;
  }
  try {
    return Snapshot{MoveSequenceIn(*link_->Run(MoveSequenceCall(keys_))), world_};
  } catch (const LinkDown&) {
    return std::nullopt;
  }
}

bool PeerServer::Send(const Snapshot& snapshot) {
  if (!Up()) {
    return false;
  }
  try {
    const Reply held = link_->Run(Command{"SMEMBERS", keys_.ServerTeams()});
    std::vector<std::int32_t> dropped;
    for (std::size_t i = 0; i < held->elements; ++i) {
      const std::int32_t team = TeamOfMember(held->element[i]->str);
      if (snapshot.world.count(team) == 0) {
        dropped.push_back(team);
      }
    }
    ContributionsByTeam counts;
    for (const auto& [team, world_counts] : snapshot.world) {
      counts[team] = CountsAboveZero(world_counts);
    }
    link_->RunScripts(Script::kReplace,
                      ReplaceCalls(keys_, kFields, counts, dropped, snapshot.sequence, 100));
    return true;
  } catch (const LinkDown&) {
    return false;
  }
}

std::optional<bool> PeerServer::Join(std::int32_t from, std::int32_t to, const Counts& limits) {
  if (!Up()) {
    return std::nullopt;
  }
  try {
    const std::string version = PublishLimits(limits);
    const Reply reply = link_->RunScript(Script::kJoin, JoinCall(keys_, from, to, version, true));
    const bool allowed = reply->element[0]->integer == 0;
    if (allowed) {
      FollowJoin(from, to);
    }
    return allowed;
  } catch (const LinkDown&) {
    return std::nullopt;
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

void ClusterStory::StartGrid() {
  MaxAmount(50);
  alice_ = AddPlayer("Alice", 101, 3001);
}

void ClusterStory::JoinSharedCluster() {
  if (SharedRedisPort() == 0) {
    GTEST_SKIP() << "runs with the CTest fixture \"redis\"";
  }
  JoinCluster(SharedRedisPort());
}

void ClusterStory::JoinCluster(int port, const std::string& password) {
  ConfigureCluster(port, password);
  AttachPlugin();
  // The load's publication goes on in the background: stories start once
  // it is in, so that it overwrites nothing they do.
  for (int i = 0; i < 2500 && ClusterPublishing(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
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
  return CountsAt(KeyNames(Settings("A1").name, "A1").Aggregate(team));
}

Counts ClusterStory::Contribution(const std::string& server, std::int32_t team) const {
  return CountsAt(KeyNames(Settings("A1").name, server).Contribution(team));
}

Counts ClusterStory::CountsAt(const std::string& key) const {
  redisContext* context = redisConnect("127.0.0.1", port_);
  Counts counts{};
  if (!password_.empty()) {
    freeReplyObject(redisCommand(context, "AUTH %s", password_.c_str()));
  }
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

std::string ClusterStory::RedisCall(const std::vector<std::string>& command) const {
  redisContext* context = redisConnect("127.0.0.1", port_);
  if (!password_.empty()) {
    freeReplyObject(redisCommand(context, "AUTH %s", password_.c_str()));
  }
  std::vector<const char*> pointers;
  std::vector<std::size_t> lengths;
  for (const std::string& argument : command) {
    pointers.push_back(argument.data());
    lengths.push_back(argument.size());
  }
  auto* reply = static_cast<redisReply*>(
      redisCommandArgv(context, static_cast<int>(command.size()), pointers.data(), lengths.data()));
  std::string text;
  if (reply != nullptr && reply->type == REDIS_REPLY_INTEGER) {
    text = std::to_string(reply->integer);
  } else if (reply != nullptr && reply->str != nullptr) {
    text.assign(reply->str, reply->len);
  }
  freeReplyObject(reply);
  redisFree(context);
  return text;
}

std::string ClusterStory::LeaseKey(const std::string& server) const {
  return KeyNames(Settings(server).name, server).Lease();
}

bool ClusterStory::RecountTwentyThousandTeams() {
  for (std::int32_t team = 10001; team <= 30000; ++team) {
    Spawn(kWall, team);
  }
  Recount();
  return ClusterPublishing();
}

Counts ClusterStory::Local(std::int32_t team) {
  return {TeamTotal(team), std::max(0, CountOf(kFoundation, team)),
          std::max(0, CountOf(kWall, team))};
}

}  // namespace cairnward::testing

namespace cairnward::testing {

Reply ClusterStory::Redis(const Command& command) const {
  RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
  return connection.Run(command);
}

std::map<std::string, std::string> ClusterStory::Dump() const {
  const std::string prefix = KeyNames(Settings("A1").name, "A1").Prefix();
  RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
  std::map<std::string, std::string> dump;
  const Reply keys = connection.Run(Command{"KEYS", prefix + "*"});
  for (std::size_t i = 0; i < keys->elements; ++i) {
    const std::string key = keys->element[i]->str;
    const Reply value = connection.Run(Command{"DUMP", key});
    dump[key] = std::string(value->str, value->len);
  }
  return dump;
}

void ClusterStory::ExpectAggregatesAreTheSums() const {
  // Read in one script, so that a grid's publication running meanwhile on
  // its own thread is seen whole or not at all.
  constexpr std::string_view kSnapshot = R"lua(
local found = {}
for _, key in ipairs(redis.call('KEYS', ARGV[1] .. '*team:*')) do
  found[#found + 1] = key
  found[#found + 1] = redis.call('HGETALL', key)
end
if redis.call('EXISTS', ARGV[1] .. 'indexed') == 1 then
  found[#found + 1] = ARGV[1] .. 'indexed'
  found[#found + 1] = {}
  for _, key in ipairs(redis.call('KEYS', ARGV[1] .. 'grids:*')) do
    found[#found + 1] = key
    found[#found + 1] = redis.call('HKEYS', key)
  end
end
return found
)lua";
  const std::string prefix = KeyNames(Settings("A1").name, "A1").Prefix();
  RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
  std::map<std::string, std::map<std::string, long long>> sums;
  std::map<std::string, std::map<std::string, long long>> aggregates;
  // While the indexes are kept, each names the grids holding its team.
  std::map<std::string, std::set<std::string>> holders;
  std::map<std::string, std::set<std::string>> indexes;
  bool indexed = false;
  const Reply found = connection.Run(Command{"EVAL", std::string(kSnapshot), "0", prefix});
  for (std::size_t i = 0; i + 1 < found->elements; i += 2) {
    const std::string key = found->element[i]->str;
    const std::string team = key.substr(key.rfind(':') + 1);
    if (key == prefix + "indexed") {
      indexed = true;
      continue;
    }
    if (key.starts_with(prefix + "grids:")) {
      for (std::size_t k = 0; k < found->element[i + 1]->elements; ++k) {
        indexes[team].insert(found->element[i + 1]->element[k]->str);
      }
      continue;
    }
    if (key.starts_with(prefix + "server:")) {
      const std::string grid = key.substr(prefix.size() + 7);
      holders[team].insert(grid.substr(0, grid.find(':')));
    }
    auto& into = key.rfind(prefix + "team:", 0) == 0 ? aggregates[team] : sums[team];
    const redisReply& hash = *found->element[i + 1];
    for (std::size_t k = 0; k + 1 < hash.elements; k += 2) {
      if (hash.element[k]->str != kWithinField) {
        into[hash.element[k]->str] += std::stoll(hash.element[k + 1]->str);
      }
    }
  }
  for (auto& [team, sum] : sums) {
    aggregates.try_emplace(team);
  }
  for (const auto& [team, aggregate] : aggregates) {
    EXPECT_EQ(aggregate, sums[team]) << "team " << team;
  }
  if (indexed) {
    EXPECT_EQ(indexes, holders);
  }
}

}  // namespace cairnward::testing
