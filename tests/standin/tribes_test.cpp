#include <utility>
#include <vector>

#include "api/game_members.h"
#include "standin/game_actions.h"
#include "standin/game_story.h"

namespace cairnward::testing {
namespace {

using standin::SimActor;
using standin::StructuresOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

using AddToTribeFn = bool (*)(AShooterPlayerState*, FTribeData*, bool, bool, bool,
                              APlayerController*);
AddToTribeFn tribe_original = nullptr;
std::vector<std::pair<bool, bool>> hook_saw_flags;  // merge, invite
bool tribe_hook_refuses = false;

bool RecordingTribeHook(AShooterPlayerState* state, FTribeData* tribe, bool merge, bool force,
                        bool invite, APlayerController* inviter) {
  hook_saw_flags.emplace_back(merge, invite);
  if (tribe_hook_refuses) {
    return false;
  }
  return tribe_original(state, tribe, merge, force, invite, inviter);
}

// Tribe joins as the game carries them out, and through a replacement of
// AddToTribe.
using Tribes = GameStory;

const standin::TribeJoinCall& OnlyJoin(const standin::World& world) {
  EXPECT_EQ(world.tribe_joins.size(), 1U);
  return world.tribe_joins.back();
}

TEST_F(Tribes, CreatingATribeTakesTheFoundersStructuresAlong) {
  const auto mine = std::vector{Spawn(kWall, kAliceOwn), Spawn(kFoundation, kAliceOwn)};
  auto* bobs = Spawn(kWall, kBobOwn);

  EXPECT_TRUE(server().CreateTribe(alice_, kRed));

  ExpectInTribe(alice_, kRed);
  EXPECT_THAT(StructuresOf(world(), kRed), UnorderedElementsAreArray(mine));
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), IsEmpty());
  EXPECT_EQ(bobs->targeting_team, kBobOwn);
  const auto& call = OnlyJoin(world());
  EXPECT_EQ(call.player_state, alice_->player_state);
  EXPECT_EQ(call.tribe, world().TribeById(kRed));
  EXPECT_FALSE(call.merge);
  EXPECT_FALSE(call.invite);
  EXPECT_FALSE(call.force);
  EXPECT_EQ(call.inviter, nullptr);
}

TEST_F(Tribes, AnAcceptedInvitationBringsTheJoinersOwnStructuresOnly) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  auto* alices = Spawn(kWall, kRed);
  const auto bobs = std::vector{Spawn(kWall, kBobOwn), Spawn(kWall, kBobOwn)};
  auto* carols = Spawn(kWall, kCarolOwn);
  world().tribe_joins.clear();

  EXPECT_TRUE(server().Invite(bob_, alice_));

  ExpectInTribe(bob_, kRed);
  ExpectInTribe(alice_, kRed);
  std::vector<SimActor*> red = bobs;
  red.push_back(alices);
  EXPECT_THAT(StructuresOf(world(), kRed), UnorderedElementsAreArray(red));
  EXPECT_EQ(carols->targeting_team, kCarolOwn);
  const auto& call = OnlyJoin(world());
  EXPECT_EQ(call.player_state, bob_->player_state);
  EXPECT_EQ(call.tribe, world().TribeById(kRed));
  EXPECT_FALSE(call.merge);
  EXPECT_TRUE(call.invite);
  EXPECT_EQ(call.inviter, alice_);
}

TEST_F(Tribes, TheGameRefusesAnInvitationToAPlayerStillInATribe) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  ASSERT_TRUE(server().CreateTribe(bob_, kBlue));
  auto* blue = Spawn(kWall, kBlue);
  world().tribe_joins.clear();

  EXPECT_FALSE(server().Invite(bob_, alice_));

  EXPECT_EQ(world().tribe_joins.size(), 1U);
  ExpectInTribe(bob_, kBlue);
  EXPECT_EQ(blue->targeting_team, kBlue);
}

TEST_F(Tribes, OnlyATribeMemberCanInviteOrMerge) {
  auto* bobs = Spawn(kWall, kBobOwn);
  EXPECT_FALSE(server().Invite(bob_, alice_));
  EXPECT_FALSE(server().Merge(bob_, alice_));
  EXPECT_THAT(world().tribe_joins, IsEmpty());
  ExpectTeam(bob_, kBobOwn);
  EXPECT_EQ(bobs->targeting_team, kBobOwn);
}

TEST_F(Tribes, AMergeBringsEveryMemberAndEveryStructureOfTheJoinersTribe) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  ASSERT_TRUE(server().CreateTribe(bob_, kBlue));
  ASSERT_TRUE(server().Invite(carol_, bob_));
  const auto blue = std::vector{Spawn(kWall, kBlue), Spawn(kFoundation, kBlue)};
  auto* red = Spawn(kWall, kRed);
  auto* daves = Spawn(kWall, kDaveOwn);
  world().tribe_joins.clear();

  EXPECT_TRUE(server().Merge(bob_, alice_));

  for (auto* member : {alice_, bob_, carol_}) {
    ExpectInTribe(member, kRed);
  }
  ExpectTeam(dave_, kDaveOwn);
  EXPECT_THAT(standin::TribeMembers(world(), world().TribeById(kBlue)), IsEmpty());
  EXPECT_THAT(StructuresOf(world(), kRed), UnorderedElementsAre(red, blue[0], blue[1]));
  EXPECT_THAT(StructuresOf(world(), kBlue), IsEmpty());
  EXPECT_EQ(daves->targeting_team, kDaveOwn);
  const auto& call = OnlyJoin(world());
  EXPECT_TRUE(call.merge);
  EXPECT_TRUE(call.invite);
  EXPECT_EQ(call.tribe, world().TribeById(kRed));
  EXPECT_EQ(call.inviter, alice_);
}

TEST_F(Tribes, AForcedJoinFromAnotherTribeLeavesTheStructuresBehind) {
  ASSERT_TRUE(server().CreateTribe(bob_, kBlue));
  const auto blue = std::vector{Spawn(kWall, kBlue), Spawn(kWall, kBlue)};
  world().tribe_joins.clear();

  EXPECT_TRUE(server().ForceJoin(bob_, kRed));

  ExpectInTribe(bob_, kRed);
  EXPECT_THAT(StructuresOf(world(), kBlue), UnorderedElementsAreArray(blue));
  EXPECT_THAT(StructuresOf(world(), kRed), IsEmpty());
  const auto& call = OnlyJoin(world());
  EXPECT_FALSE(call.merge);
  EXPECT_FALSE(call.invite);
  EXPECT_TRUE(call.force);
}

TEST_F(Tribes, AForcedJoinWithoutATribeTakesTheOwnStructuresAlong) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  auto* bobs = Spawn(kWall, kBobOwn);
  EXPECT_TRUE(server().ForceJoin(bob_, kRed));
  ExpectInTribe(bob_, kRed);
  EXPECT_EQ(bobs->targeting_team, kRed);
  EXPECT_THAT(standin::TribeMembers(world(), world().TribeById(kRed)), ElementsAre(alice_, bob_));
}

TEST_F(Tribes, CreatingATribeWhileInOneLeavesTheStructuresWithTheOld) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  auto* red = Spawn(kWall, kRed);
  EXPECT_TRUE(server().CreateTribe(alice_, kBlue));
  ExpectInTribe(alice_, kBlue);
  EXPECT_EQ(red->targeting_team, kRed);
}

TEST_F(Tribes, LeavingGivesTheOwnTeamBackAndTheTribeKeepsTheStructures) {
  auto* wall = Spawn(kWall, kAliceOwn);
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  world().original_calls.clear();

  server().LeaveTribe(alice_);

  EXPECT_FALSE(alice_->player_state->in_tribe);
  EXPECT_EQ(alice_->player_state->current_tribe_data, nullptr);
  ExpectTeam(alice_, kAliceOwn);
  EXPECT_EQ(wall->targeting_team, kRed);
  EXPECT_THAT(world().original_calls, IsEmpty());
  EXPECT_EQ(server().Place(alice_, kWall).actor->targeting_team, kAliceOwn);
}

TEST_F(Tribes, JoinsTheGameTurnsDownChangeNothing) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  auto* bobs = Spawn(kWall, kBobOwn);

  world().refuse_tribe_joins = 1;
  EXPECT_FALSE(server().Invite(bob_, alice_));
  ExpectTeam(bob_, kBobOwn);
  EXPECT_EQ(bobs->targeting_team, kBobOwn);
  EXPECT_TRUE(server().Invite(bob_, alice_));

  // Merge flag without the invite flag, a missing tribe, and the tribe he is in.
  EXPECT_FALSE(server().AddToTribe(carol_, world().TribeById(kRed), true, false, false, alice_));
  EXPECT_FALSE(server().AddToTribe(carol_, nullptr, false, false, false, nullptr));
  EXPECT_FALSE(server().CreateTribe(alice_, kRed));
  ExpectTeam(carol_, kCarolOwn);
  ExpectInTribe(alice_, kRed);
  EXPECT_EQ(world().tribe_joins.size(), 6U);
}

// AddToTribe replaced by one that records each call's flags and, when
// tribe_hook_refuses is set, refuses without calling the game.
void ReplaceAddToTribe(standin::Server& server) {
  hook_saw_flags.clear();
  tribe_hook_refuses = false;
  server.Hooks().SetHook(game::kAddToTribe.name, &RecordingTribeHook, &tribe_original);
}

TEST_F(Tribes, EachWayInEntersTheReplacementWithItsFlags) {
  ReplaceAddToTribe(server());
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  ASSERT_TRUE(server().Invite(bob_, alice_));
  ASSERT_TRUE(server().CreateTribe(carol_, kBlue));
  ASSERT_TRUE(server().Merge(carol_, alice_));
  ASSERT_TRUE(server().ForceJoin(dave_, kRed));
  using Flags = std::pair<bool, bool>;
  EXPECT_THAT(hook_saw_flags,
              ElementsAre(Flags{false, false}, Flags{false, true}, Flags{false, false},
                          Flags{true, true}, Flags{false, false}));
}

TEST_F(Tribes, AReplacementThatRefusesKeepsTheGameFromActing) {
  ReplaceAddToTribe(server());
  auto* alices = Spawn(kWall, kAliceOwn);
  tribe_hook_refuses = true;
  EXPECT_FALSE(server().CreateTribe(alice_, kRed));
  EXPECT_THAT(world().tribe_joins, IsEmpty());
  ExpectTeam(alice_, kAliceOwn);
  EXPECT_EQ(alices->targeting_team, kAliceOwn);
}

}  // namespace
}  // namespace cairnward::testing
