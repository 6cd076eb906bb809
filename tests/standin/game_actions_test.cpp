#include <algorithm>
#include <stdexcept>

#include "api/game_members.h"
#include "standin/game_actions.h"
#include "standin/live_objects.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using standin::RefusedBy;
using standin::SimActor;
using standin::SimPlayerController;
using standin::StructuresOf;
using standin::TeamOf;
using standin::Via;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

constexpr const char* kWall = "/Game/Structures/Wall.Wall";
constexpr const char* kFoundation = "/Game/Structures/Foundation.Foundation";

// Players with their own team ids, and tribe ids well apart from them.
constexpr std::int32_t kAliceOwn = 2001;
constexpr std::int32_t kBobOwn = 2002;
constexpr std::int32_t kCarolOwn = 2003;
constexpr std::int32_t kDaveOwn = 2004;
constexpr std::int32_t kRed = 5001;
constexpr std::int32_t kBlue = 5002;

class GameActions : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    alice_ = world().AddPlayer("Alice", 76561198000000001ULL, kAliceOwn);
    bob_ = world().AddPlayer("Bob", 76561198000000002ULL, kBobOwn);
  }

  SimActor* Spawn(const char* path, std::int32_t team) {
    return world().SpawnActor(world().BlueprintClass(path), team);
  }

  // Every place the game keeps a player's team must agree.
  static void ExpectTeam(const SimPlayerController* player, std::int32_t team) {
    EXPECT_EQ(TeamOf(player), team) << player->player_name;
    EXPECT_EQ(player->targeting_team, team) << player->player_name;
    EXPECT_EQ(player->player_state->targeting_team, team) << player->player_name;
    ASSERT_NE(player->character, nullptr);
    EXPECT_EQ(player->character->targeting_team, team) << player->player_name;
  }

  static void ExpectInTribe(const SimPlayerController* player, std::int32_t tribe) {
    EXPECT_TRUE(player->player_state->in_tribe) << player->player_name;
    ASSERT_NE(player->player_state->current_tribe_data, nullptr) << player->player_name;
    EXPECT_EQ(player->player_state->current_tribe_data->tribe_id, tribe) << player->player_name;
    ExpectTeam(player, tribe);
  }

  SimPlayerController* alice_ = nullptr;
  SimPlayerController* bob_ = nullptr;
};

// ---- Placement, game side only ----------------------------------------------

using Placement = GameActions;

TEST_F(Placement, AimChecksAreNotFinalAndTheFinalOneSpawnsWithTheControllersTeam) {
  const auto result = server().Place(alice_, kWall, {.aim_calls = 3});

  ASSERT_NE(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kNone);
  EXPECT_EQ(result.answer, 1);
  EXPECT_THAT(result.aim_answers, ElementsAre(1, 1, 1));
  EXPECT_EQ(result.actor->targeting_team, kAliceOwn);
  EXPECT_EQ(result.actor->cls, world().BlueprintClass(kWall));
  EXPECT_THAT(world().Level()->slots, ElementsAre(AsGame<AActor>(result.actor)));

  const auto& checks = world().build_checks;
  ASSERT_EQ(checks.size(), 4U);
  for (std::size_t i = 0; i < checks.size(); ++i) {
    EXPECT_EQ(checks[i].final_placement, i == 3) << "check " << i;
    EXPECT_EQ(checks[i].structure, world().BlueprintClass(kWall)->default_object) << i;
    EXPECT_EQ(checks[i].controller, alice_) << i;
  }
}

TEST_F(Placement, BlueprintPathAndObjectPathNameTheSameClass) {
  const auto by_blueprint =
      server().Place(bob_, "Blueprint'/Game/Structures/Wall.Wall'", {.aim_calls = 0});
  ASSERT_NE(by_blueprint.actor, nullptr);
  EXPECT_EQ(by_blueprint.actor->cls, world().BlueprintClass(kWall));
  EXPECT_THAT(by_blueprint.aim_answers, IsEmpty());
  ASSERT_EQ(world().build_checks.size(), 1U);
  EXPECT_TRUE(world().build_checks[0].final_placement);
}

TEST_F(Placement, AGameRefusalSpawnsNothing) {
  Spawn(kFoundation, kAliceOwn);
  const auto result = server().Place(alice_, kWall, {.game_allows = false});
  EXPECT_EQ(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kGame);
  EXPECT_EQ(result.answer, 0);
  EXPECT_EQ(world().Level()->slots.size(), 1U);
  EXPECT_EQ(world().build_checks.size(), 3U);
  // The refusal was for that placement alone.
  EXPECT_NE(server().Place(alice_, kWall).actor, nullptr);
}

TEST_F(Placement, AnyNonZeroGameVerdictComesBackAsIsAndPlaces) {
  const auto result = server().Place(bob_, kWall, {.game_answer = 7, .aim_calls = 1});
  EXPECT_NE(result.actor, nullptr);
  EXPECT_EQ(result.answer, 7);
  EXPECT_THAT(result.aim_answers, ElementsAre(7));
}

TEST_F(Placement, ATribeMemberPlacesForHisTribeAndNoControllerMeansNoTeam) {
  ASSERT_TRUE(server().CreateTribe(alice_, kRed));
  EXPECT_EQ(server().Place(alice_, kWall).actor->targeting_team, kRed);
  EXPECT_EQ(server().Place(nullptr, kWall).actor->targeting_team, 0);
  EXPECT_EQ(world().build_checks.back().controller, nullptr);
}

TEST_F(Placement, OnlyStructureClassesCanBePlaced) {
  EXPECT_THROW(server().Place(alice_, world().BlueprintClass("/Game/Dinos/Raptor.Raptor", false)),
               std::invalid_argument);
  EXPECT_THAT(world().build_checks, IsEmpty());
}

// ---- Placement through a replacement of the build check ----------------------

using BuildCheckFn = int (*)(APrimalStructure*, APlayerController*, FVector, FRotator,
                             FPlacementData*, bool, FRotator, bool, void*, void*);
BuildCheckFn build_original = nullptr;
std::vector<bool> hook_saw_final;
int final_answer_override = -1;

int RecordingBuildHook(APrimalStructure* structure, APlayerController* pc, FVector at,
                       FRotator rotation, FPlacementData* out, bool no_range, FRotator view,
                       bool final_placement, void* a, void* b) {
  hook_saw_final.push_back(final_placement);
  const int game =
      build_original(structure, pc, at, rotation, out, no_range, view, final_placement, a, b);
  return final_placement && final_answer_override >= 0 ? final_answer_override : game;
}

class PlacementThroughHook : public GameActions {
 protected:
  void SetUp() override {
    GameActions::SetUp();
    hook_saw_final.clear();
    final_answer_override = -1;
    server().Hooks().SetHook(game::kIsAllowedToBuild.name, &RecordingBuildHook, &build_original);
  }
};

TEST_F(PlacementThroughHook, EveryCheckEntersTheReplacementFirst) {
  const auto result = server().Place(alice_, kWall, {.aim_calls = 2});
  EXPECT_NE(result.actor, nullptr);
  EXPECT_THAT(hook_saw_final, ElementsAre(false, false, true));
  EXPECT_EQ(world().build_checks.size(), 3U);
}

TEST_F(PlacementThroughHook, AReplacementAnsweringZeroRefusesWhatTheGameAllowed) {
  final_answer_override = 0;
  const auto result = server().Place(alice_, kWall);
  EXPECT_EQ(result.actor, nullptr);
  EXPECT_EQ(result.refused_by, RefusedBy::kPlugin);
  EXPECT_THAT(world().Level()->slots, IsEmpty());
}

TEST_F(PlacementThroughHook, TheGamesRefusalIsStillTheGamesWhenTheReplacementAgrees) {
  final_answer_override = 0;
  EXPECT_EQ(server().Place(alice_, kWall, {.game_allows = false}).refused_by, RefusedBy::kGame);
}

// ---- Removal -----------------------------------------------------------------

using DieFn = bool (*)(APrimalStructure*, float, FDamageEvent*, AController*, AActor*);
using DestroyedFn = void (*)(APrimalStructure*);
DieFn die_original = nullptr;
DestroyedFn destroyed_original = nullptr;
std::vector<std::int32_t> teams_seen_by_destroyed;
bool level_held_structure_at_destroyed = false;

bool RefusingDieHook(APrimalStructure*, float, FDamageEvent*, AController*, AActor*) {
  return false;
}

void InspectingDestroyedHook(APrimalStructure* structure) {
  auto* live = static_cast<SimActor*>(standin::FindLive(structure));
  ASSERT_NE(live, nullptr);
  teams_seen_by_destroyed.push_back(live->targeting_team);
  const auto& slots = standin::Server::Current().GetWorld().Level()->slots;
  level_held_structure_at_destroyed =
      std::find(slots.begin(), slots.end(), AsGame<AActor>(live)) != slots.end();
  destroyed_original(structure);
}

using Removal = GameActions;

TEST_F(Removal, DieThenDestroyedThenTheSlotIsNull) {
  auto* foundation = Spawn(kFoundation, kAliceOwn);
  auto* wall = Spawn(kWall, kAliceOwn);
  const auto id = wall->id;

  EXPECT_TRUE(server().Destroy(wall, Via::kDie, bob_));

  EXPECT_THAT(world().original_calls,
              ElementsAre("APrimalStructure.Die", "APrimalStructure.Destroyed"));
  EXPECT_THAT(world().Level()->slots, ElementsAre(AsGame<AActor>(foundation), nullptr));
  EXPECT_EQ(world().Level()->actors.ArrayNum, 2);
  EXPECT_EQ(world().FindById(id), nullptr);
}

TEST_F(Removal, DemolishThenDestroyed) {
  auto* wall = Spawn(kWall, kBobOwn);
  EXPECT_TRUE(server().Destroy(wall, Via::kDemolish, bob_));
  EXPECT_THAT(world().original_calls,
              ElementsAre("APrimalStructure.Demolish", "APrimalStructure.Destroyed"));
  EXPECT_THAT(world().Level()->slots, ElementsAre(nullptr));
}

TEST_F(Removal, SeveralInTurnReportTheIdsRemoved) {
  auto* a = Spawn(kWall, kAliceOwn);
  auto* b = Spawn(kWall, kAliceOwn);
  const std::vector<std::uint64_t> ids{a->id, b->id};
  EXPECT_EQ(server().Destroy({a, b}, Via::kDemolish), ids);
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), IsEmpty());
}

TEST_F(Removal, DestroyedRunsWhileTheStructureIsStillInTheLevelWithItsTeam) {
  teams_seen_by_destroyed.clear();
  level_held_structure_at_destroyed = false;
  server().Hooks().SetHook(game::kDestroyed.name, &InspectingDestroyedHook, &destroyed_original);
  server().Destroy(Spawn(kWall, 1001), Via::kDie);
  EXPECT_THAT(teams_seen_by_destroyed, ElementsAre(1001));
  EXPECT_TRUE(level_held_structure_at_destroyed);
}

TEST_F(Removal, ADeathThatDoesNotHappenKeepsTheStructure) {
  server().Hooks().SetHook(game::kDie.name, &RefusingDieHook, &die_original);
  auto* wall = Spawn(kWall, kAliceOwn);
  EXPECT_FALSE(server().Destroy(wall, Via::kDie));
  EXPECT_THAT(world().original_calls, IsEmpty());
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), ElementsAre(wall));
}

TEST_F(Removal, SomethingThatIsNotALiveStructureIsRefused) {
  auto* wall = Spawn(kWall, kAliceOwn);
  server().Destroy(wall, Via::kDie);
  EXPECT_THROW(server().Destroy(wall, Via::kDie), std::invalid_argument);
  EXPECT_THROW(server().Destroy(alice_, Via::kDie), std::invalid_argument);
}

// ---- Tribes, game side only ----------------------------------------------------

class Tribes : public GameActions {
 protected:
  void SetUp() override {
    GameActions::SetUp();
    carol_ = world().AddPlayer("Carol", 76561198000000003ULL, kCarolOwn);
    dave_ = world().AddPlayer("Dave", 76561198000000004ULL, kDaveOwn);
  }

  const standin::TribeJoinCall& OnlyJoin() {
    EXPECT_EQ(world().tribe_joins.size(), 1U);
    return world().tribe_joins.back();
  }

  SimPlayerController* carol_ = nullptr;
  SimPlayerController* dave_ = nullptr;
};

TEST_F(Tribes, CreatingATribeTakesTheFoundersStructuresAlong) {
  const auto mine = std::vector{Spawn(kWall, kAliceOwn), Spawn(kFoundation, kAliceOwn)};
  auto* bobs = Spawn(kWall, kBobOwn);

  EXPECT_TRUE(server().CreateTribe(alice_, kRed));

  ExpectInTribe(alice_, kRed);
  EXPECT_THAT(StructuresOf(world(), kRed), UnorderedElementsAreArray(mine));
  EXPECT_THAT(StructuresOf(world(), kAliceOwn), IsEmpty());
  EXPECT_EQ(bobs->targeting_team, kBobOwn);
  const auto& call = OnlyJoin();
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
  const auto& call = OnlyJoin();
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
  const auto& call = OnlyJoin();
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
  const auto& call = OnlyJoin();
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

// ---- Tribe joins through a replacement -------------------------------------------

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

class TribesThroughHook : public Tribes {
 protected:
  void SetUp() override {
    Tribes::SetUp();
    hook_saw_flags.clear();
    tribe_hook_refuses = false;
    server().Hooks().SetHook(game::kAddToTribe.name, &RecordingTribeHook, &tribe_original);
  }
};

TEST_F(TribesThroughHook, EachWayInEntersTheReplacementWithItsFlags) {
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

TEST_F(TribesThroughHook, AReplacementThatRefusesKeepsTheGameFromActing) {
  auto* alices = Spawn(kWall, kAliceOwn);
  tribe_hook_refuses = true;
  EXPECT_FALSE(server().CreateTribe(alice_, kRed));
  EXPECT_THAT(world().tribe_joins, IsEmpty());
  ExpectTeam(alice_, kAliceOwn);
  EXPECT_EQ(alices->targeting_team, kAliceOwn);
}

// ---- Game mode start -------------------------------------------------------------

using InitGameFn = void (*)(AShooterGameMode*, FString*, FString*, FString*);
InitGameFn init_original = nullptr;
std::vector<std::u16string> init_hook_maps;

void RecordingInitHook(AShooterGameMode* mode, FString* map, FString* options, FString* error) {
  init_hook_maps.emplace_back(map->View());
  init_original(mode, map, options, error);
}

using GameMode = GameActions;

TEST_F(GameMode, StartingRunsInitGameOnTheGameModeThroughTheReplacement) {
  init_hook_maps.clear();
  server().StartGameMode();
  EXPECT_THAT(world().original_calls, ElementsAre("AShooterGameMode.InitGame"));
  server().Hooks().SetHook(game::kInitGame.name, &RecordingInitHook, &init_original);
  server().StartGameMode();
  EXPECT_THAT(init_hook_maps, ElementsAre(u"Ocean"));
  EXPECT_EQ(world().original_calls.size(), 2U);
}

}  // namespace
}  // namespace cairnward::testing
