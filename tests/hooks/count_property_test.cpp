#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "accounting/group_counts.h"
#include "accounting/limit_rules.h"
#include "accounting/teams_over.h"
#include "support/counts_snapshot.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using Snapshot = testing::CountsSnapshot;
using testing::SnapshotCounts;

class CountsNeverDrift : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    MaxAmount(12);
    // Groups that share a blueprint, and tribes and players with limits of
    // their own, so that moves and flags meet every kind of limit.
    Config()["Groups"] = {
        {"Shell", {{"Count", 5}, {"Blueprints", {BlueprintPath(kWall), BlueprintPath(kCeiling)}}}},
        {"Floor",
         {{"Count", 4}, {"Blueprints", {BlueprintPath(kFoundation), BlueprintPath(kCeiling)}}}}};
    Config()["Teams"]["5001"] = {
        {"MaxAmount", 20}, {"Structures", {{BlueprintPath(kWall), 5}}}, {"Groups", {{"Shell", 8}}}};
    Config()["Teams"]["3002"] = {{"Groups", {{"Floor", 1}}}};
    Configure();
    Recount();
    for (int i = 0; i < 6; ++i) {
      players_.push_back(AddPlayer("P" + std::to_string(i), 100 + i, 3000 + i));
    }
  }

  standin::SimPlayerController* AnyPlayer() { return players_[Pick(players_.size())]; }
  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  void RandomStep() {
    static const char* const kBlueprints[] = {kWall, kFoundation, kCeiling};
    switch (Pick(8)) {
      case 0:
      case 1:
      case 2:
        Place(AnyPlayer(), kBlueprints[Pick(3)]);
        break;
      case 3: {
        const auto structures = standin::StructuresOf(world(), standin::TeamOf(AnyPlayer()));
        if (!structures.empty()) {
          server().Destroy(structures[Pick(structures.size())],
                           Pick(2) == 0 ? standin::Via::kDie : standin::Via::kDemolish);
        }
        break;
      }
      case 4:
        server().CreateTribe(AnyPlayer(), static_cast<std::int32_t>(5000 + Pick(4)));
        break;
      case 5:
        server().Invite(AnyPlayer(), AnyPlayer());
        break;
      case 6: {
        // A reload that moves the wall limit below or above what teams own,
        // and with negative limits the Shell group's along with it.
        const int limit = lowest_limit_ + static_cast<int>(Pick(5 - lowest_limit_));
        Limit(kWall, limit);
        if (lowest_limit_ < 0) {
          Config()["Groups"]["Shell"]["Count"] = limit;
        }
        Configure();
        Recount();
        break;
      }
      default:
        if (Pick(2) == 0) {
          server().Merge(AnyPlayer(), AnyPlayer());
        } else {
          server().LeaveTribe(AnyPlayer());
        }
        break;
    }
  }

  // Each walk compares the counts and flags it leaves with a recount's.
  void WalkAndCompareWithRecount() {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      rng_.seed(seed);
      for (int step = 0; step < 60; ++step) {
        RandomStep();
      }
      const Snapshot incremental = SnapshotCounts();
      Recount();
      ASSERT_EQ(incremental, SnapshotCounts()) << "seed " << seed;
    }
  }

  int lowest_limit_ = 0;
  std::mt19937 rng_;
  std::vector<standin::SimPlayerController*> players_;
};

TEST_F(CountsNeverDrift, AfterRandomPlacementsRemovalsAndTribeChanges) {
  WalkAndCompareWithRecount();
}

// A team that owns none of a blueprint or group is not above its limit,
// whatever the limit: joins and removals that leave it at 0 of -1 agree.
TEST_F(CountsNeverDrift, WithNegativeCounts) {
  lowest_limit_ = -1;
  Limit(kFoundation, -1);
  Config()["Groups"]["Floor"]["Count"] = -1;
  Configure();
  Recount();
  WalkAndCompareWithRecount();
}

// Every team above any limit by the rules the checks apply, asked of every
// team and every limit: what cairnward.over must find from the flags and
// the totals alone.
std::set<std::int32_t> TeamsAboveByEveryLimit() {
  std::set<std::int32_t> above;
  const GroupTally* groups = CountedGroups();
  for (const auto& [team, total] : TeamTotals()) {
    bool over = total > 0 && total > MaxAmountOf(team);
    for (auto entry = StructureLedger().begin(); entry != StructureLedger().end(); ++entry) {
      const auto it = entry->second.find(team);
      const std::int32_t count = it != entry->second.end() ? it->second : 0;
      over = over || (count > 0 && count > BlueprintLimitOf(entry, entry->first.View(), team));
    }
    for (std::size_t group = 0; groups != nullptr && group < Limits().Groups().size(); ++group) {
      const std::int32_t count = GroupCount(*groups, group, team);
      over = over || (count > 0 && count > Limits().GroupLimitOf(group, team));
    }
    if (over) {
      above.insert(team);
    }
  }
  return above;
}

TEST_F(CountsNeverDrift, TheTeamsOverALimitAreFoundFromTheFlagsAndTotalsAlone) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    rng_.seed(seed);
    for (int step = 0; step < 60; ++step) {
      if (step % 10 == 9) {
        // A reload that moves the total below or above what teams own, which
        // flags nothing.
        MaxAmount(static_cast<int>(2 + Pick(12)));
        Configure();
        Recount();
      }
      RandomStep();
      std::set<std::int32_t> listed;
      for (const TeamOver& over : TeamsOverLimits()) {
        listed.insert(over.team);
      }
      ASSERT_EQ(listed, TeamsAboveByEveryLimit()) << "seed " << seed << ", step " << step;
    }
  }
}

}  // namespace
}  // namespace cairnward::testing
