#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/objects.h"

namespace standin {

class Server;
class World;

// What players and the game do to structures and tribes, driven the way the
// game drives them: every hooked game function is entered through the hook
// chain (HookRegistry::Entry), so a loaded plug-in sees exactly the calls a
// server would make. Nothing here reaches around the hooks to change counts.

// ---- Placement ---------------------------------------------------------------

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

// A player places a structure of `blueprint`: `aim_calls` checks without the
// final flag while he aims, then one with it, all on the class's default
// object, the game answering as `options` say. A non-zero final answer spawns
// the structure into the level with the controller's TargetingTeam (0 for a
// null controller), unless the game turns it down after all
// (World::refuse_placements).
PlaceResult Place(Server& server, SimPlayerController* player, SimClass* blueprint,
                  PlaceOptions options = {});
// The same by object path ("/Game/Structures/Wall.Wall") or by blueprint path
// ("Blueprint'/Game/Structures/Wall.Wall'"); the class is made on first use.
PlaceResult Place(Server& server, SimPlayerController* player, const std::string& blueprint_path,
                  PlaceOptions options = {});

// ---- Removal -----------------------------------------------------------------

enum class Via { kDie, kDemolish };

// Kills or demolishes a structure: "APrimalStructure.Die" or
// "APrimalStructure.Demolish", then "APrimalStructure.Destroyed", then the
// actor leaves the level (its slot turns null) and ceases to exist. When Die or
// Demolish answers false the game keeps the structure: nothing else runs.
// `by` is the killer or demolishing player, may be null. True when removed.
// A pointer that is not a live structure is a test's mistake: invalid_argument.
bool Destroy(Server& server, SimActor* structure, Via via, SimPlayerController* by = nullptr);
// Several in turn; the ids of those removed, in order.
std::vector<std::uint64_t> Destroy(Server& server, const std::vector<SimActor*>& structures,
                                   Via via, SimPlayerController* by = nullptr);

// ---- Tribes ------------------------------------------------------------------
//
// Each join calls "AShooterPlayerState.AddToTribe" on the joining player's
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

// Creates tribe `tribe_id` (World::TribeById) and puts the player in it: both
// flags clear, force clear.
bool CreateTribe(Server& server, SimPlayerController* player, std::int32_t tribe_id);
// The joiner accepts the inviter's invitation into the inviter's tribe: merge
// clear, invite set. Invitations only come from tribe members: an inviter
// without a tribe cannot send one, so false without any call.
bool Invite(Server& server, SimPlayerController* joiner, SimPlayerController* inviter);
// The joiner's tribe merges into the inviter's: merge and invite set. The
// inviter must be in a tribe, as for an invitation.
bool Merge(Server& server, SimPlayerController* joiner, SimPlayerController* inviter);
// An administrator puts the player into tribe `tribe_id`: both flags clear,
// force set.
bool ForceJoin(Server& server, SimPlayerController* player, std::int32_t tribe_id);
// Any call, with flags and arguments as given (the fourth argument is force).
bool AddToTribe(Server& server, SimPlayerController* joiner, SimTribeData* tribe, bool merge,
                bool force, bool invite, SimPlayerController* inviter);
// "tribe leave": the player takes his own team id back, his tribe keeps the
// structures. The game runs no hooked function for this.
void LeaveTribe(Server& server, SimPlayerController* player);

// ---- Game mode ---------------------------------------------------------------

// The game mode starts: "AShooterGameMode.InitGame".
void StartGameMode(Server& server);

// ---- The game's rules and views of the world ---------------------------------

// What the game's own AddToTribe does when it runs (rules above). True when
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
