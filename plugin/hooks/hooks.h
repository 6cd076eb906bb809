#pragma once

#include "api/game_members.h"

namespace cairnward {

// The game function each hook passes calls on to, filled by the host when the
// hook is installed.
template <typename Descriptor>
using GameFn = decltype(Resolve(Descriptor{}));

namespace original {
extern GameFn<decltype(game::kInitGame)> InitGame;
extern GameFn<decltype(game::kIsAllowedToBuild)> IsAllowedToBuild;
extern GameFn<decltype(game::kAddToTribe)> AddToTribe;
extern GameFn<decltype(game::kDestroyed)> Destroyed;
extern GameFn<decltype(game::kDie)> Die;
extern GameFn<decltype(game::kDemolish)> Demolish;
}  // namespace original

void Hook_AShooterGameMode_InitGame(AShooterGameMode* mode, FString* map_name, FString* options,
                                    FString* error_message);
int Hook_APrimalStructure_IsAllowedToBuild(APrimalStructure* structure, APlayerController* pc,
                                           FVector at_location, FRotator at_rotation,
                                           FPlacementData* out_placement, bool dont_adjust_range,
                                           FRotator view_rotation, bool final_placement,
                                           void* prevention_actors, void* snap_info);
bool Hook_AShooterPlayerState_AddToTribe(AShooterPlayerState* player, FTribeData* tribe,
                                         bool merge_tribe, bool force, bool from_invite,
                                         APlayerController* inviter);
void Hook_APrimalStructure_Destroyed(APrimalStructure* structure);
bool Hook_APrimalStructure_Die(APrimalStructure* structure, float damage, FDamageEvent* event,
                               AController* killer, AActor* causer);
bool Hook_APrimalStructure_Demolish(APrimalStructure* structure, APlayerController* by,
                                    AActor* tool);

// Installs the six hooks in their fixed order; removes them in the same order.
void InstallHooks();
void RemoveHooks();

}  // namespace cairnward
