#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/game_members.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::u16string> Texts(const std::vector<standin::Delivery>& shown) {
  std::vector<std::u16string> texts;
  for (const auto& d : shown) {
    texts.push_back(d.text);
  }
  return texts;
}

class TribeHook : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    chief_ = AddPlayer("Chief", 1, 3001);
    PutInTribe(chief_, 5001);
    joiner_ = AddPlayer("Joiner", 2, 3002);
  }
  std::size_t GameJoins() { return world().tribe_joins.size(); }
  standin::SimPlayerController* chief_ = nullptr;
  standin::SimPlayerController* joiner_ = nullptr;
};

TEST_F(TribeHook, InvitationOverALimitIsRefusedAndBothPlayersAreTold) {
  Spawn(kWall, 5001, 2);
  Spawn(kWall, 3002, 2);
  Recount();
  EXPECT_FALSE(server().Invite(joiner_, chief_));
  EXPECT_EQ(GameJoins(), 0U);
  EXPECT_THAT(Texts(Received(chief_)),
              ElementsAre(u"This player's structures would exceed your tribe's limits"));
  EXPECT_THAT(Texts(Received(joiner_)),
              ElementsAre(u"Your structures would exceed that tribe's limits"));
  EXPECT_EQ(CountOf(kWall, 3002), 2);
}

TEST_F(TribeHook, MergeOverALimitIsRefusedWithTheMergeMessages) {
  PutInTribe(joiner_, 5002);
  Spawn(kFoundation, 5001, 6);
  Spawn(kFoundation, 5002, 5);
  Recount();
  EXPECT_FALSE(server().Merge(joiner_, chief_));
  EXPECT_EQ(GameJoins(), 0U);
  EXPECT_THAT(Texts(Received(chief_)),
              ElementsAre(u"The merged tribe would exceed its structure limits"));
  EXPECT_THAT(Texts(Received(joiner_)),
              ElementsAre(u"Your tribe's structures would exceed the merged tribe's limits"));
}

TEST_F(TribeHook, MergeWithinTheLimitsMovesEveryCountToTheInvitingTribe) {
  PutInTribe(joiner_, 5002);
  Spawn(kWall, 5001, 0);
  Spawn(kWall, 5002, 2);
  Spawn(kFoundation, 5002, 3);
  Spawn(kCeiling, 5002, 1);
  Spawn(kFoundation, 5001, 1);
  Recount();
  EXPECT_TRUE(server().Merge(joiner_, chief_));
  EXPECT_EQ(CountOf(kWall, 5001), 2);
  EXPECT_EQ(CountOf(kFoundation, 5001), 4);
  EXPECT_EQ(CountOf(kWall, 5002), 0);
  EXPECT_EQ(CountOf(kFoundation, 5002), 0);
  EXPECT_EQ(TeamTotal(5001), 7);
  EXPECT_EQ(TeamTotals().count(5002), 0U);
}

TEST_F(TribeHook, MergeFlagWithoutInviteFlagIsRefusedSilently) {
  EXPECT_FALSE(server().AddToTribe(joiner_, world().TribeById(5001), /*merge=*/true, false,
                                   /*invite=*/false, chief_));
  EXPECT_EQ(GameJoins(), 0U);
  EXPECT_THAT(Received(chief_), IsEmpty());
  EXPECT_THAT(Received(joiner_), IsEmpty());
}

TEST_F(TribeHook, MissingParticipantsAndTeamZeroRefuseWithoutCallingTheGame) {
  EXPECT_FALSE(server().AddToTribe(joiner_, world().TribeById(5001), false, false,
                                   /*invite=*/true, nullptr));
  auto* nobody = AddPlayer("Nobody", 3, 0);
  EXPECT_FALSE(server().AddToTribe(nobody, world().TribeById(5001), false, false, true, chief_));
  EXPECT_EQ(GameJoins(), 0U);
}

TEST_F(TribeHook, AnInvitationOfAPlayerWithNothingChangesNoCountAndTracesCode2) {
  Debug(true);
  Configure();
  std::vector<std::string> trace;
  trace = TraceOf([&] { EXPECT_TRUE(server().Invite(joiner_, chief_)); });
  EXPECT_THAT(trace,
              ::testing::Contains(
                  "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite allowed! (Code 2)"));
  EXPECT_EQ(TeamTotal(5001), 0);
}

TEST_F(TribeHook, CreatingATribeTakesThePlayersCountsAlong) {
  Spawn(kWall, 3002, 2);
  Spawn(kCeiling, 3002, 1);
  Recount();
  EXPECT_TRUE(server().CreateTribe(joiner_, 5009));
  EXPECT_EQ(CountOf(kWall, 5009), 2);
  EXPECT_EQ(TeamTotal(5009), 3);
  EXPECT_EQ(TeamTotals().count(3002), 0U);
}

TEST_F(TribeHook, AForcedJoinIntoATribeThatOwnsStructuresAddsToItsTotal) {
  Spawn(kWall, 5001, 1);
  Spawn(kCeiling, 5001, 4);
  Spawn(kWall, 3002, 1);
  Recount();
  EXPECT_TRUE(server().ForceJoin(joiner_, 5001));
  EXPECT_EQ(TeamTotal(5001), 6);
  EXPECT_EQ(CountOf(kWall, 5001), 2);
}

TEST_F(TribeHook, APlayerAlreadyInATribeMovesNothingButTheTraceEnds) {
  PutInTribe(joiner_, 5002);
  Spawn(kWall, 5002, 1);
  Recount();
  Debug(true);
  Configure();
  std::vector<std::string> trace;
  trace = TraceOf([&] { EXPECT_TRUE(server().ForceJoin(joiner_, 5001)); });
  ASSERT_GE(trace.size(), 8U);
  EXPECT_EQ(trace[trace.size() - 8], "| Creating a tribe: 6");
  EXPECT_EQ(CountOf(kWall, 5002), 1);
  EXPECT_EQ(TeamTotal(5001), 0);
}

TEST_F(TribeHook, WhenTheGameRefusesNothingMoves) {
  Spawn(kWall, 3002, 1);
  Recount();
  world().refuse_tribe_joins = 1;
  EXPECT_FALSE(server().CreateTribe(joiner_, 5009));
  EXPECT_EQ(TeamTotal(3002), 1);
  EXPECT_EQ(TeamTotal(5009), 0);
}

TEST_F(TribeHook, BothSidesOnOneTeamLetTheGameDecideAndKeepTheCounts) {
  auto* member = AddPlayer("Member", 4, 3004);
  PutInTribe(member, 5001);
  Spawn(kWall, 5001, 3);
  Recount();
  const bool answer =
      server().AddToTribe(member, world().TribeById(5001), true, false, true, chief_);
  EXPECT_EQ(GameJoins(), 1U);
  EXPECT_FALSE(answer);  // the game turns down a join of one's own tribe
  EXPECT_EQ(CountOf(kWall, 5001), 3);
  EXPECT_EQ(TeamTotal(5001), 3);
}

}  // namespace
}  // namespace cairnward::testing
