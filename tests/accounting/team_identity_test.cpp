#include "accounting/team_identity.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TeamIdentity : public DirectStory {};

TEST_F(TeamIdentity, ATribeMemberActsForHisTribeWhateverHisOwnDataSays) {
  auto* ann = AddPlayer("Ann", 1, 1234567);
  PutInTribe(ann, 1500000001);
  EXPECT_EQ(GetTeamID(StateOf(ann)), 1500000001);
}

TEST_F(TeamIdentity, APlayerWithoutATribeActsForHisOwnTeam) {
  auto* bob = AddPlayer("Bob", 2, 1234567);
  // The controller's team is not what is read.
  bob->targeting_team = 42;
  EXPECT_EQ(GetTeamID(StateOf(bob)), 1234567);
}

TEST_F(TeamIdentity, AMissingRecordMeansNoTeam) {
  auto* ann = AddPlayer("Ann", 1, 1234567);
  PutInTribe(ann, 1500000001);
  ann->player_state->current_tribe_data = nullptr;
  EXPECT_EQ(GetTeamID(StateOf(ann)), 0);

  auto* bob = AddPlayer("Bob", 2, 7654321);
  bob->player_state->my_player_data = nullptr;
  EXPECT_EQ(GetTeamID(StateOf(bob)), 0);
}

TEST_F(TeamIdentity, TraceNamesTheBranchInEightLines) {
  auto* ann = AddPlayer("Ann", 1, 1234567);
  auto* bob = AddPlayer("Bob", 2, 7654321);
  PutInTribe(ann, 1500000001);
  EXPECT_THAT(TraceOf([&] { GetTeamID(StateOf(ann)); }), IsEmpty());

  Debug(true);
  Configure();
  EXPECT_THAT(TraceOf([&] { GetTeamID(StateOf(ann)); }),
              ElementsAre("|", "|", "| GetTeamID: Starts", "|", "|", "|",
                          "| GetTeamID: return tribe_id: 1500000001", "|"));
  EXPECT_THAT(TraceOf([&] { GetTeamID(StateOf(bob)); }),
              ElementsAre("|", "|", "| GetTeamID: Starts", "|", "|", "|",
                          "| GetTeamID: return player_id: 7654321", "|"));
}

}  // namespace
}  // namespace cairnward::testing
