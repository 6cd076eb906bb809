#include "standin/game_actions.h"

#include <stdexcept>

#include "api/fstring.h"
#include "api/game_members.h"
#include "standin/blueprint_path.h"
#include "standin/live_objects.h"
#include "standin/server.h"
#include "standin/world.h"

namespace standin {
namespace {

SimActor* AsStructure(AActor* slot) {
  SimObject* object = FindLive(slot);
  if (object == nullptr || (object->kinds & kStructure) == 0U) {
    return nullptr;
  }
  return static_cast<SimActor*>(object);
}

SimPlayerController* ControllerOf(const SimPlayerState* state) {
  SimObject* owner = state->owner_controller;
  if (owner == nullptr || (owner->kinds & kPlayerController) == 0U) {
    return nullptr;
  }
  return static_cast<SimPlayerController*>(owner);
}

std::int32_t OwnTeam(const SimPlayerState* state) {
  return state->my_player_data != nullptr ? state->my_player_data->own_team_id : 0;
}

// Everything that acts for the player carries his team.
void SetPlayerTeam(SimPlayerState* state, std::int32_t team) {
  state->targeting_team = team;
  if (SimPlayerController* controller = ControllerOf(state)) {
    controller->targeting_team = team;
    if (controller->character != nullptr) {
      controller->character->targeting_team = team;
    }
  }
}

void PutInTribe(SimPlayerState* state, SimTribeData* tribe) {
  state->in_tribe = true;
  state->current_tribe_data = tribe;
  SetPlayerTeam(state, tribe->tribe_id);
}

// Team 0 is nobody's: structures without a team stay where they are.
void HandOverStructures(const World& world, std::int32_t from, std::int32_t to) {
  if (from == 0 || from == to) {
    return;
  }
  for (SimActor* structure : StructuresOf(world, from)) {
    structure->targeting_team = to;
  }
}

SimPlayerState* StateOf(SimPlayerController* player, const char* who) {
  if (player == nullptr || FindLive(player) == nullptr) {
    throw std::invalid_argument(std::string(who) + ": not a live player");
  }
  return player->player_state;
}

// The game's verdict for one placement; the world's own comes back after it.
class VerdictForPlacement {
 public:
  VerdictForPlacement(World& world, const PlaceOptions& options)
      : world_(world), before_(world.build_verdict) {
    world.build_verdict = options.game_allows ? options.game_answer : 0;
  }
  ~VerdictForPlacement() { world_.build_verdict = before_; }
  VerdictForPlacement(const VerdictForPlacement&) = delete;
  VerdictForPlacement& operator=(const VerdictForPlacement&) = delete;

 private:
  World& world_;
  int before_;
};

}  // namespace

PlaceResult Server::Place(SimPlayerController* player, SimClass* blueprint, PlaceOptions options) {
  if (blueprint == nullptr || blueprint->default_object == nullptr ||
      (blueprint->default_object->kinds & kStructure) == 0U) {
    throw std::invalid_argument("Place: not a structure class");
  }
  World& world = *world_;
  const VerdictForPlacement verdict(world, options);
  auto* check = hooks_.Entry(game::kIsAllowedToBuild);
  auto* structure = AsGame<APrimalStructure>(blueprint->default_object);
  auto* controller = AsGame<APlayerController>(player);
  const FVector at{1200.0F, -340.0F, 85.0F};
  const FRotator rotation{0.0F, 90.0F, 0.0F};
  const FRotator view{-10.0F, 90.0F, 0.0F};
  FPlacementData placement;

  PlaceResult result;
  for (int i = 0; i < options.aim_calls; ++i) {
    result.aim_answers.push_back(check(structure, controller, at, rotation, &placement, false, view,
                                       false, nullptr, nullptr));
  }
  result.answer =
      check(structure, controller, at, rotation, &placement, false, view, true, nullptr, nullptr);
  if (result.answer == 0) {
    result.refused_by = world.build_verdict != 0 ? RefusedBy::kPlugin : RefusedBy::kGame;
    return result;
  }
  if (world.refuse_placements > 0) {
    --world.refuse_placements;
    result.refused_by = RefusedBy::kGameAfterCheck;
    return result;
  }
  result.actor = world.SpawnActor(blueprint, player != nullptr ? player->targeting_team : 0);
  return result;
}

PlaceResult Server::Place(SimPlayerController* player, const std::string& blueprint,
                          PlaceOptions options) {
  return Place(player, world_->BlueprintClass(ObjectPathOf(blueprint)), options);
}

bool Server::Destroy(SimActor* structure, Via via, SimPlayerController* by) {
  SimObject* live = FindLive(structure);
  if (live == nullptr || (live->kinds & kStructure) == 0U) {
    throw std::invalid_argument("Destroy: not a live structure");
  }
  auto* game_structure = AsGame<APrimalStructure>(structure);
  bool dies = false;
  if (via == Via::kDie) {
    FDamageEvent damage;
    AActor* causer = by != nullptr ? AsGame<AActor>(by->character) : nullptr;
    dies = hooks_.Entry(game::kDie)(game_structure, 100000.0F, &damage, AsGame<AController>(by),
                                    causer);
  } else {
    dies = hooks_.Entry(game::kDemolish)(game_structure, AsGame<APlayerController>(by), nullptr);
  }
  if (!dies) {
    return false;
  }
  hooks_.Entry(game::kDestroyed)(game_structure);
  world_->RemoveActor(structure);
  return true;
}

std::vector<std::uint64_t> Server::Destroy(const std::vector<SimActor*>& structures, Via via,
                                           SimPlayerController* by) {
  std::vector<std::uint64_t> removed;
  for (SimActor* structure : structures) {
    const std::uint64_t id = structure != nullptr ? structure->id : 0;
    if (Destroy(structure, via, by)) {
      removed.push_back(id);
    }
  }
  return removed;
}

bool Server::AddToTribe(SimPlayerController* joiner, SimTribeData* tribe, bool merge, bool force,
                        bool invite, SimPlayerController* inviter) {
  SimPlayerState* state = StateOf(joiner, "AddToTribe");
  return hooks_.Entry(game::kAddToTribe)(AsGame<AShooterPlayerState>(state),
                                         AsGame<FTribeData>(tribe), merge, force, invite,
                                         AsGame<APlayerController>(inviter));
}

bool Server::CreateTribe(SimPlayerController* player, std::int32_t tribe_id) {
  SimTribeData* tribe = world_->TribeById(tribe_id);
  return AddToTribe(player, tribe, false, false, false, nullptr);
}

bool Server::ForceJoin(SimPlayerController* player, std::int32_t tribe_id) {
  SimTribeData* tribe = world_->TribeById(tribe_id);
  return AddToTribe(player, tribe, false, true, false, nullptr);
}

bool Server::Invite(SimPlayerController* joiner, SimPlayerController* inviter) {
  const SimPlayerState* inviting = StateOf(inviter, "Invite");
  if (inviting == nullptr || !inviting->in_tribe || inviting->current_tribe_data == nullptr) {
    return false;
  }
  return AddToTribe(joiner, inviting->current_tribe_data, false, false, true, inviter);
}

bool Server::Merge(SimPlayerController* joiner, SimPlayerController* inviter) {
  const SimPlayerState* inviting = StateOf(inviter, "Merge");
  if (inviting == nullptr || !inviting->in_tribe || inviting->current_tribe_data == nullptr) {
    return false;
  }
  return AddToTribe(joiner, inviting->current_tribe_data, true, false, true, inviter);
}

void Server::LeaveTribe(SimPlayerController* player) {
  SimPlayerState* state = StateOf(player, "LeaveTribe");
  if (state == nullptr || !state->in_tribe) {
    return;
  }
  state->in_tribe = false;
  state->current_tribe_data = nullptr;
  SetPlayerTeam(state, OwnTeam(state));
}

void Server::StartGameMode() {
  FString map(u"Ocean");
  FString options(u"?listen?MaxPlayers=70");
  FString error;
  hooks_.Entry(game::kInitGame)(AsGame<AShooterGameMode>(world_->GameMode()), &map, &options,
                                &error);
}

bool CarryOutTribeJoin(World& world, SimPlayerState* joiner, SimTribeData* tribe, bool merge,
                       bool invite) {
  if (tribe == nullptr || (merge && !invite)) {
    return false;
  }
  SimTribeData* old_tribe = joiner->in_tribe ? joiner->current_tribe_data : nullptr;
  if (old_tribe == tribe) {
    return false;
  }
  if (old_tribe == nullptr) {
    // Alone: his own structures come along, whatever the way in.
    PutInTribe(joiner, tribe);
    HandOverStructures(world, OwnTeam(joiner), tribe->tribe_id);
    return true;
  }
  if (!merge && invite) {
    return false;
  }
  if (merge) {
    for (SimPlayerController* member : TribeMembers(world, old_tribe)) {
      PutInTribe(member->player_state, tribe);
    }
    HandOverStructures(world, old_tribe->tribe_id, tribe->tribe_id);
    return true;
  }
  // Created or forced while in a tribe: the old tribe keeps what it owns.
  PutInTribe(joiner, tribe);
  return true;
}

std::vector<SimPlayerController*> TribeMembers(const World& world, const SimTribeData* tribe) {
  std::vector<SimPlayerController*> members;
  for (SimPlayerController* player : world.Players()) {
    const SimPlayerState* state = player->player_state;
    if (state != nullptr && state->in_tribe && state->current_tribe_data == tribe) {
      members.push_back(player);
    }
  }
  return members;
}

std::vector<SimActor*> StructuresOf(const World& world, std::int32_t team) {
  std::vector<SimActor*> owned;
  for (AActor* slot : world.Level()->slots) {
    SimActor* structure = slot != nullptr ? AsStructure(slot) : nullptr;
    if (structure != nullptr && structure->targeting_team == team) {
      owned.push_back(structure);
    }
  }
  return owned;
}

std::int32_t TeamOf(const SimPlayerController* player) {
  const SimPlayerState* state = player->player_state;
  if (state == nullptr) {
    return player->targeting_team;
  }
  if (state->in_tribe && state->current_tribe_data != nullptr) {
    return state->current_tribe_data->tribe_id;
  }
  return OwnTeam(state);
}

}  // namespace standin
