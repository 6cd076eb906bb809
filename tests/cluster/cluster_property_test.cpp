#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "cluster/cluster_story.h"
#include "support/redis_server.h"

namespace cairnward::testing {
namespace {

constexpr std::int32_t kMaxAmount = 12;
const Counts kLimits{kMaxAmount, 10, 3};

// Grid A1 (this process's server, through its hooks) and grids B1 and C1
// (peers writing to Redis as their plug-ins would), on a Redis of the test's
// own that it may stop and start again empty.
class ThreeGrids : public ClusterStory {
 protected:
  void SetUp() override {
    ClusterStory::SetUp();
    MaxAmount(kMaxAmount);
    JoinCluster(redis_.Port());
    peers_.push_back(std::make_unique<PeerServer>(Settings("B1"), "B1"));
    peers_.push_back(std::make_unique<PeerServer>(Settings("C1"), "C1"));
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

  // Tribe joins on A1; the game moves the same team's structures on every grid.
  void Join(bool merge) {
    auto* joiner = players_[Pick(players_.size())];
    auto* inviter = players_[Pick(players_.size())];
    const std::int32_t from = standin::TeamOf(joiner);
    const bool joined = merge ? standin::Merge(server(), joiner, inviter)
                              : standin::Invite(server(), joiner, inviter);
    if (joined && standin::TeamOf(joiner) != from) {
      for (auto& peer : peers_) {
        peer->FollowJoin(from, standin::TeamOf(joiner));
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

  // One step of one grid. Steps that an administrator's repair commands
  // take (retiring a grid, rebuilding every aggregate) belong here too, as
  // cases of their own.
  void RandomStep(bool outages) {
    PeerServer& peer = *peers_[Pick(peers_.size())];
    const std::size_t position = Pick(2) == 0 ? kWalls : kFoundations;
    switch (Pick(outages ? 11 : 10)) {
      case 0:
      case 1:
        Place(players_[Pick(players_.size())], position == kWalls ? kWall : kFoundation);
        break;
      case 2: {
        const auto structures = standin::StructuresOf(world(), AnyTeam());
        if (!structures.empty()) {
          standin::Destroy(server(), structures[Pick(structures.size())], standin::Via::kDie);
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
        standin::CreateTribe(server(), players_[Pick(players_.size())], next_tribe_++);
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
      for (auto& peer : peers_) {
        const auto it = peer->World().find(team);
        for (std::size_t i = 0; it != peer->World().end() && i < sum.size(); ++i) {
          sum[i] += it->second[i];
        }
      }
      ASSERT_EQ(Aggregate(team), sum) << "team " << team << ", seed " << seed;
      // (b): each grid's contribution is its world.
      ASSERT_EQ(Contribution("A1", team), Local(team)) << "team " << team << ", seed " << seed;
      for (std::size_t p = 0; p < peers_.size(); ++p) {
        const auto it = peers_[p]->World().find(team);
        ASSERT_EQ(Contribution(p == 0 ? "B1" : "C1", team),
                  it != peers_[p]->World().end() ? it->second : Counts{})
            << "team " << team << ", seed " << seed;
      }
    }
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
      RandomStep(outages);
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
