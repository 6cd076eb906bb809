#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "cluster/cluster_story.h"
#include "cluster/repair.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

constexpr std::int32_t kMaxAmount = 12;
const Counts kLimits{kMaxAmount, 10, 3};
const std::array<std::string, 2> kPeerNames{"B1", "C1"};

// Grid A1 (this process's server, through its hooks) and grids B1 and C1
// (peers writing to Redis as their plug-ins would), on a Redis of the test's
// own that it may stop and start again empty.
class ThreeGrids : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    MaxAmount(kMaxAmount);
    JoinCluster(redis_.Port());
    for (const std::string& name : kPeerNames) {
      peers_.push_back(std::make_unique<PeerServer>(Settings(name), name));
    }
    for (int i = 0; i < 4; ++i) {
      players_.push_back(AddPlayer("P" + std::to_string(i), 100 + i, 3000 + i));
    }
  }

  void TearDown() override {
    peers_.clear();
    ClusterStory::TearDown();
  }

  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  std::int32_t AnyTeam() { return standin::TeamOf(players_[Pick(players_.size())]); }

  // A peer grid; a retired one starts again first, as a fresh grid under
  // its old name with an empty world.
  PeerServer& AnyPeer() {
    const std::size_t slot = Pick(peers_.size());
    if (!peers_[slot]) {
      peers_[slot] = std::make_unique<PeerServer>(Settings(kPeerNames[slot]), kPeerNames[slot]);
    }
    return *peers_[slot];
  }

  // Tribe joins on A1; the game moves the same team's structures on every grid.
  void Join(bool merge) {
    auto* joiner = players_[Pick(players_.size())];
    auto* inviter = players_[Pick(players_.size())];
    const std::int32_t from = standin::TeamOf(joiner);
    const bool joined = merge ? server().Merge(joiner, inviter) : server().Invite(joiner, inviter);
    if (joined && standin::TeamOf(joiner) != from) {
      for (auto& peer : peers_) {
        if (peer) {
          peer->FollowJoin(from, standin::TeamOf(joiner));
        }
      }
    }
  }

  // A join on A1 while a peer's publication is under way: its snapshot
  // taken before, its pieces sent after.
  void JoinDuringPublication(PeerServer& peer) {
    const auto snapshot = peer.TakeSnapshot();
    Join(Pick(2) == 0);
    if (snapshot) {
      peer.Send(*snapshot);
    }
  }

  // Redis loses everything while the grids run; the one the test started
  // goes on (FLUSHALL), or stops and starts again empty.
  void LoseRedis() {
    if (Pick(2) == 0) {
      const Reply flushed = Redis({"FLUSHALL"});
    } else {
      redis_.Stop();
      redis_.Start();
    }
  }

  // The administrator's repairs, run as cairnward.cluster runs them on A1.
  RepairReport Retire(const std::string& grid) const {
    RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
    return RetireGrid(connection, KeyNames(Settings("A1").name, "A1"), grid);
  }
  RepairReport Rebuild() const {
    RedisConnection connection(Settings("A1"), std::chrono::milliseconds(2000));
    return RebuildAggregates(connection, KeyNames(Settings("A1").name, "A1"));
  }

  // A peer grid stops for good and is retired: its structures are gone
  // with it, and nothing of it stays in Redis.
  void StopAndRetire() {
    std::size_t slot = Pick(peers_.size());
    if (!peers_[slot]) {
      slot = (slot + 1) % peers_.size();
    }
    if (!peers_[slot]) {
      return;
    }
    const std::string& grid = kPeerNames[slot];
    const std::string lease = LeaseKey(grid);
    ASSERT_FALSE(Retire("A1").done);
    ASSERT_TRUE(RedisCall({"EXISTS", lease}) == "0" || !Retire(grid).done);
    peers_[slot].reset();  // its link gives its lease up, if it can reach Redis
    if (RedisCall({"EXISTS", lease}) == "1") {
      // Stopped with its link down: the lease stays until it expires.
      ASSERT_FALSE(Retire(grid).done);
      RedisCall({"PEXPIRE", lease, "1"});
      for (int i = 0; i < 1000 && RedisCall({"EXISTS", lease}) == "1"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    Retire(grid);
    const std::string prefix = KeyNames(Settings("A1").name, "A1").Prefix();
    ASSERT_EQ(Redis({"KEYS", prefix + "server:" + EscapeKeyPart(grid) + ":*"})->elements, 0U)
        << grid;
  }

  // Aggregates lost or altered by hand, then rebuilt from the contributions.
  void SpoilAndRebuild() {
    for (int i = 0; i < 2; ++i) {
      const std::string aggregate = KeyNames(Settings("A1").name, "A1").Aggregate(AnyTeam());
      const Reply spoiled = Pick(2) == 0
                                ? Redis({"DEL", aggregate})
                                : Redis({"HINCRBY", aggregate, kFields[Pick(kFields.size())], "3"});
    }
    ASSERT_TRUE(Rebuild().done);
  }

  // One step of one grid, or an administrator's repair.
  void RandomStep(bool outages) {
    PeerServer& peer = AnyPeer();
    const std::size_t position = Pick(2) == 0 ? kWalls : kFoundations;
    switch (Pick(outages ? 13 : 12)) {
      case 0:
      case 1:
        Place(players_[Pick(players_.size())], position == kWalls ? kWall : kFoundation);
        break;
      case 2: {
        const auto structures = standin::StructuresOf(world(), AnyTeam());
        if (!structures.empty()) {
          server().Destroy(structures[Pick(structures.size())], standin::Via::kDie);
        }
        break;
      }
      case 3:
      case 4:
        peer.Place(AnyTeam(), position, kLimits);
        break;
      case 5:
        peer.Remove(AnyTeam(), position);
        break;
      case 6:
        Join(Pick(2) == 0);
        break;
      case 7:
        server().CreateTribe(players_[Pick(players_.size())], next_tribe_++);
        break;
      case 8:
        if (Pick(2) == 0) {
          Recount();
        } else {
          peer.Recount();
        }
        break;
      case 9:
        JoinDuringPublication(peer);
        break;
      case 10:
        StopAndRetire();
        break;
      case 11:
        SpoilAndRebuild();
        break;
      default:
        LoseRedis();
        break;
    }
  }

  // Invariant (a) after every step: every script keeps it, so it holds
  // even in an emptied Redis that the grids are filling again.
  void ExpectInvariantA() { ExpectAggregatesAreTheSums(); }

  // Every grid recounts with Redis up; the aggregate must then be the sum
  // of the three worlds.
  void ExpectAggregateIsTheSum(std::uint32_t seed) {
    // A link may learn only at its next call that Redis restarted: each
    // grid recounts until its publication went through.
    const auto recounted = [](const std::function<bool()>& recount) {
      for (int i = 0; i < 1000; ++i) {
        if (recount()) {
          return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return false;
    };
    ASSERT_TRUE(recounted([] { return ClusterUp() && (Recount(), ClusterUp()); }));
    std::set<std::int32_t> teams{5000};
    for (auto& peer : peers_) {
      if (!peer) {
        continue;
      }
      ASSERT_TRUE(recounted([&] { return peer->Recount(); }));
      for (const auto& [team, counts] : peer->World()) {
        teams.insert(team);
      }
    }
    for (const auto& [team, total] : TeamTotals()) {
      teams.insert(team);
    }
    for (const std::int32_t team : teams) {
      Counts sum = Local(team);
      for (std::size_t p = 0; p < peers_.size(); ++p) {
        const Counts world = WorldOf(p, team);
        for (std::size_t i = 0; i < sum.size(); ++i) {
          sum[i] += world[i];
        }
      }
      ASSERT_EQ(Aggregate(team), sum) << "team " << team << ", seed " << seed;
      // (b): each grid's contribution is its world; a retired grid has none.
      ASSERT_EQ(Contribution("A1", team), Local(team)) << "team " << team << ", seed " << seed;
      for (std::size_t p = 0; p < peers_.size(); ++p) {
        ASSERT_EQ(Contribution(kPeerNames[p], team), WorldOf(p, team))
            << kPeerNames[p] << ", team " << team << ", seed " << seed;
      }
    }
  }

  // A peer's world's counts of a team; none while the peer is retired.
  Counts WorldOf(std::size_t slot, std::int32_t team) const {
    if (!peers_[slot]) {
      return {};
    }
    const auto it = peers_[slot]->World().find(team);
    return it != peers_[slot]->World().end() ? it->second : Counts{};
  }

  void ExpectWithinLimits() {
    for (std::int32_t team = 3000; team < 3004; ++team) {
      const Counts counts = Aggregate(team);
      for (std::size_t i = 0; i < counts.size(); ++i) {
        ASSERT_LE(counts[i], kLimits[i]) << "team " << team;
      }
    }
  }

  RedisServer redis_;
  std::vector<std::unique_ptr<PeerServer>> peers_;
  std::vector<standin::SimPlayerController*> players_;
  std::int32_t next_tribe_ = 5001;
  std::mt19937 rng_;
};

TEST_F(ThreeGrids, AfterEveryRecountTheAggregateIsTheSumOfTheWorlds) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    rng_.seed(seed);
    const bool outages = seed % 2 == 0;
    for (int step = 0; step < 40; ++step) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", step " << step);
      RandomStep(outages);
      ExpectInvariantA();
      ASSERT_FALSE(HasFailure());
      if (!outages) {
        ExpectWithinLimits();
      }
    }
    ExpectAggregateIsTheSum(seed);
  }
}

TEST_F(ThreeGrids, TwoGridsRacingForTheLastSlotsNeverPassTheLimit) {
  auto* alice = players_.front();
  PeerServer& b1 = *peers_.front();
  std::atomic<bool> go{false};
  std::thread other_grid([&] {
    while (!go) {
    }
    for (int i = 0; i < 20; ++i) {
      b1.Place(3000, kWalls, kLimits);
    }
  });
  go = true;
  for (int i = 0; i < 20; ++i) {
    Place(alice, kWall);
  }
  other_grid.join();
  EXPECT_EQ(Aggregate(3000)[kWalls], 3);
  EXPECT_EQ(Local(3000)[kWalls] + b1.World().at(3000)[kWalls], 3);
}

}  // namespace
}  // namespace cairnward::testing
