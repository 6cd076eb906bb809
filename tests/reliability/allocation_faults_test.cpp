#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "commands/commands.h"
#include "commands/reload_commands.h"
#include "reliability/figures.h"
#include "standin/memory.h"
#include "support/counts_snapshot.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::Not;

using Snapshot = std::map<std::pair<std::u16string, std::int32_t>, std::int32_t>;

Snapshot Counts() {
  Snapshot snapshot;
  for (const auto& [path, counts] : StructureLedger()) {
    for (const auto& [team, count] : counts) {
      snapshot[{std::u16string(path.View()), team}] = count;
    }
  }
  for (const auto& [team, total] : TeamTotals()) {
    snapshot[{u"(total)", team}] = total;
  }
  return snapshot;
}

// The game's allocator refuses one request, at every point of a hook or a
// command where the plug-in or the game asks it for memory.
class AllocationFaults : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001);
    bob_ = AddPlayer("Bob", 76561198000000002ULL, 2002);
    PutInTribe(alice_, 5001);
    alice_->character->aimed_actor = Spawn(kWall, 0)[0];
    Spawn(kWall, 5001, 3);
    Spawn(kFoundation, 2002, 2);
    connection_ = world().MakeRconConnection();
    Recount();
  }

  // Runs `act` once for every allocation it makes, failing that one. Nothing
  // may escape, every failure must be logged, no block may be left behind.
  // Answers how many faults were injected.
  int Sweep(const std::string& what, const std::function<void()>& act) {
    const std::uint64_t points_before = standin::Memory().allocations;
    act();
    const auto points = static_cast<int>(standin::Memory().allocations - points_before);
    int injected = 0;
    for (int skip = 0; skip < points; ++skip) {
      SCOPED_TRACE(what + ", allocation " + std::to_string(skip + 1) + " of " +
                   std::to_string(points));
      server().ClearLog();
      const std::size_t blocks = standin::Memory().live_blocks;
      const std::uint64_t failed = standin::FailedAllocations();
      standin::FailAllocations(static_cast<std::uint64_t>(skip), 1);
      act();
      standin::FailAllocations(0, 0);
      if (standin::FailedAllocations() == failed) {
        continue;
      }
      ++injected;
      EXPECT_THAT(FailureLines(), Not(IsEmpty())) << "a fault went unreported";
      EXPECT_EQ(standin::Memory().live_blocks, blocks) << "blocks left behind";
    }
    return injected;
  }

  std::vector<std::string> FailureLines() const {
    auto lines = PluginLogLines(spdlog::level::err);
    const auto warnings = PluginLogLines(spdlog::level::warn);
    lines.insert(lines.end(), warnings.begin(), warnings.end());
    return lines;
  }

  std::vector<standin::RconReply> Rcon(void (*handler)(RCONClientConnection*, RCONPacket*, UWorld*),
                                       RCONPacket& packet) {
    const std::size_t before = server().RconReplies().size();
    handler(standin::AsGame<RCONClientConnection>(connection_), &packet, nullptr);
    const auto& replies = server().RconReplies();
    return {replies.begin() + static_cast<std::ptrdiff_t>(before), replies.end()};
  }

  standin::SimPlayerController* admin_ = nullptr;
  standin::SimPlayerController* alice_ = nullptr;
  standin::SimPlayerController* bob_ = nullptr;
  standin::SimRconConnection* connection_ = nullptr;
};

TEST_F(AllocationFaults, InHooksNothingEscapesAndEveryFaultIsLogged) {
  int faults = 0;
  faults += Sweep("a placement within the limits", [&] { Place(bob_, kCeiling); });
  faults += Sweep("a placement over the limits", [&] { Place(alice_, kWall); });
  faults += Sweep("a removal", [&] {
    const auto owned = standin::StructuresOf(world(), 2002);
    if (!owned.empty()) {
      server().Destroy(owned.front(), standin::Via::kDemolish);
    }
  });
  faults += Sweep("a tribe join", [&] {
    server().LeaveTribe(bob_);
    server().Invite(bob_, alice_);
  });
  Tally("fault_cases", faults);
}

// A join that the game carried out moves all of the joining team's counts,
// or none when the move fails: they then stay as they were, never half moved,
// until a recount.
TEST_F(AllocationFaults, AJoinMovesAllOfATeamsCountsOrNone) {
  Limit(kFoundation, 1000);
  Configure();
  std::int32_t tribe = 6000;
  // Bob leaves with two more foundations of his own; answers what the join left.
  const auto join_from_own_team = [&](const std::function<void()>& join, std::uint64_t fail_after) {
    server().LeaveTribe(bob_);
    Spawn(kFoundation, 2002, 2);
    Recount();
    server().ClearLog();
    const CountsSnapshot before = SnapshotCounts();
    standin::FailAllocations(fail_after, 1);
    join();
    standin::FailAllocations(0, 0);
    const CountsSnapshot after = SnapshotCounts();
    Recount();
    return std::pair{after == before, after == SnapshotCounts()};
  };
  const std::vector<std::pair<const char*, std::function<void()>>> joins = {
      {"a tribe created", [&] { server().CreateTribe(bob_, ++tribe); }},
      {"an invitation", [&] { server().Invite(bob_, alice_); }},
  };
  int faults = 0;
  for (const auto& [what, join] : joins) {
    for (std::uint64_t at = 0;; ++at) {
      SCOPED_TRACE(std::string(what) + ", allocation " + std::to_string(at + 1));
      const std::uint64_t failed = standin::FailedAllocations();
      const auto [unchanged, moved] = join_from_own_team(join, at);
      if (standin::FailedAllocations() == failed) {
        EXPECT_TRUE(moved);
        break;
      }
      ++faults;
      EXPECT_TRUE(unchanged || moved) << "counts half moved";
    }
    // A "Count" the move cannot read, before, among and after the others.
    for (const char* name : {"Blueprint'/Game/A.A'", "Blueprint'/Game/Structures/Pillar.Pillar'",
                             "Blueprint'/Game/Z.Z'"}) {
      SCOPED_TRACE(std::string(what) + ", a bad \"Count\" of " + name);
      Config()["Structures"][name]["Count"] = "x";
      Configure();
      const auto [unchanged, moved] = join_from_own_team(join, ~std::uint64_t{0});
      EXPECT_TRUE(unchanged) << "a failed move changed counts";
      EXPECT_FALSE(moved);
      EXPECT_THAT(FailureLines(), Not(IsEmpty()));
      Config()["Structures"].erase(name);
      ++faults;
    }
    Configure();
  }
  Tally("fault_cases", faults);
}

TEST_F(AllocationFaults, InCommandsNothingEscapesAndAFailedRecountKeepsTheCounts) {
  int faults = 0;
  FString line(u"x");
  faults += Sweep("show-limits", [&] { ShowLimitsChat(AsPlayer(alice_), &line, false); });
  faults += Sweep("GetBp", [&] { GetBpConsole(AsPlayer(alice_), &line, false); });
  faults += Sweep("a console reload", [&] {
    const Snapshot before = Counts();
    ReloadConfigConsole(AsPlayer(admin_), &line, false);
    EXPECT_EQ(Counts(), before);
  });

  RCONPacket packet = standin::RconCommandPacket(u"UpdateStructures", 9);
  faults += Sweep("an RCON recount", [&] {
    const Snapshot before = Counts();
    Rcon(&UpdateStructuresRcon, packet);
    EXPECT_EQ(Counts(), before);
  });
  faults += Sweep("an RCON reload", [&] {
    const Snapshot before = Counts();
    Rcon(&ReloadConfigRcon, packet);
    EXPECT_EQ(Counts(), before);
  });
  Tally("fault_cases", faults);
}

}  // namespace
}  // namespace cairnward::testing
