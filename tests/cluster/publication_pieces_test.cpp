#include <gtest/gtest.h>

#include <chrono>

#include "accounting/team_view.h"
#include "cluster/local_counts_copy.h"
#include "cluster/paced_pieces.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using std::chrono::microseconds;

TEST(PiecePacing, PiecesShrinkToRedisTimeAndGrowAtMostTwofoldUpToTheirBound) {
  PiecePacer pacer(1);
  const std::size_t first = pacer.Teams();
  ASSERT_GT(first, 1U);
  // 200 us a team: a piece's time holds a few.
  pacer.Served(first, microseconds(200) * static_cast<long>(first));
  const auto fits = static_cast<std::size_t>(PiecePacer::kPieceTime / microseconds(200));
  EXPECT_EQ(pacer.Teams(), fits);
  // One quick piece doubles the size, no more.
  pacer.Served(fits, microseconds(10));
  EXPECT_EQ(pacer.Teams(), 2 * fits);
  for (int i = 0; i < 20; ++i) {
    pacer.Served(pacer.Teams(), microseconds(1));
  }
  EXPECT_EQ(pacer.Teams(), TeamsPerPiece(1) * 10);
  // A piece slower than the aim on its own still leaves one team.
  pacer.Served(1, microseconds(50'000));
  EXPECT_EQ(pacer.Teams(), 1U);
}

TEST(PiecePacing, ManyGridsStartSmall) {
  EXPECT_EQ(PiecePacer(400).Teams(), std::max<std::size_t>(TeamsPerPiece(400) / 2, 1));
  EXPECT_LT(PiecePacer(400).Teams(), PiecePacer(1).Teams());
}

class LocalCountsCopying : public DirectStory {};

// The publisher's thread turns the copy into each team's pairs: they must be
// the team's view, position for position, groups included.
TEST_F(LocalCountsCopying, EachTeamsPairsAreItsViewAndUncountedTeamsAreLeftOut) {
  Config()["Groups"] = {{"Shell", {{"Count", 5}, {"Blueprints", {BlueprintPath(kWall)}}}}};
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kFoundation, 1001);
  Spawn(kWall, 1002);
  Spawn(kCeiling, 1003);
  Spawn(kWall, 1000);
  Recount();
  const LocalCountsCopy copy = LocalCountsCopy::Take();
  const ContributionsByTeam by_team = copy.ByTeam();
  EXPECT_EQ(by_team.size(), 3U);
  for (const std::int32_t team : {1001, 1002, 1003}) {
    const TeamCountPairs view = CountsAboveZero(LocalTeamView(team).Counts());
    EXPECT_EQ(by_team.at(team), view) << team;
    EXPECT_EQ(copy.PairsOf(team), view) << team;
  }
  EXPECT_TRUE(copy.PairsOf(1000).empty());
  EXPECT_EQ(by_team.count(1000), 0U);
}

}  // namespace
}  // namespace cairnward::testing
