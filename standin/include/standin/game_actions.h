#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/objects.h"

namespace standin {

class World;

// What the game's actions take and answer (the actions themselves are
// Server's: Place, Destroy, the tribe joins, StartGameMode), and the game's
// own rules for a tribe join.

enum class RefusedBy {
  kNone,    // placed
  kPlugin,  // the game's own verdict was non-zero, but the hook chain answered 0
  kGame,    // the game's own verdict was 0
  // The final check through the hook chain allowed it, and then the game did
  // not spawn it (World::refuse_placements): a hook that counted it was wrong.
  kGameAfterCheck,
};

struct PlaceResult {
  SimActor* actor = nullptr;  // the spawned structure, null when refused
  RefusedBy refused_by = RefusedBy::kNone;
  int answer = 0;                // what the final check answered through the hook chain
  std::vector<int> aim_answers;  // what each check while aiming answered
};

// How the game itself judges a placement, and how long the player aims.
struct PlaceOptions {
  bool game_allows = true;  // the game's own verdict: false answers 0
  int game_answer = 1;      // what the game answers when it allows
  int aim_calls = 2;        // checks without the final flag before the final one
};

// How a structure goes: killed, or demolished by a player.
enum class Via { kDie, kDemolish };

// Each tribe join calls "AShooterPlayerState.AddToTribe" on the joining player's
// state and answers what the hook chain answered. The game's own function
// carries the join out (CarryOutTribeJoin) when it agrees:
//   - the joining player's tribe data, player state, controller and character
//     team follow him into the tribe;
//   - a player without a tribe takes the structures of his own team id along;
//   - a merge brings every member and every structure of the joining player's
//     tribe (a joiner without a tribe merges alone, as by invitation);
//   - a player in a tribe who is forced into another, or creates one, leaves
//     his structures with the old tribe;
//   - it refuses an invitation to a player still in a tribe, a join into the
//     tribe he is in already, a missing tribe, and the merge flag without the
//     invite flag (merges only come from invitations);
//   - it refuses the next World::refuse_tribe_joins joins outright.
// What the game's own AddToTribe does when it runs (the rules above). True when
// the player was moved.
bool CarryOutTribeJoin(World& world, SimPlayerState* joiner, SimTribeData* tribe, bool merge,
                       bool invite);

// Players whose state is in `tribe`, in the order they joined the server.
std::vector<SimPlayerController*> TribeMembers(const World& world, const SimTribeData* tribe);
// Structures in the level owned by `team` (their TargetingTeam), in level order.
std::vector<SimActor*> StructuresOf(const World& world, std::int32_t team);
// The team a player acts for: his tribe's id, else his own team id.
std::int32_t TeamOf(const SimPlayerController* player);

}  // namespace standin
