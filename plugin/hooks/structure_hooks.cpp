#include "hooks/hooks.h"

namespace cairnward {

void Hook_AShooterGameMode_InitGame(AShooterGameMode* mode, FString* map_name, FString* options,
                                    FString* error_message) {
  original::InitGame(mode, map_name, options, error_message);
}

int Hook_APrimalStructure_IsAllowedToBuild(APrimalStructure* structure, APlayerController* pc,
                                           FVector at_location, FRotator at_rotation,
                                           FPlacementData* out_placement, bool dont_adjust_range,
                                           FRotator view_rotation, bool final_placement,
                                           void* prevention_actors, void* snap_info) {
  return original::IsAllowedToBuild(structure, pc, at_location, at_rotation, out_placement,
                                    dont_adjust_range, view_rotation, final_placement,
                                    prevention_actors, snap_info);
}

void Hook_APrimalStructure_Destroyed(APrimalStructure* structure) {
  original::Destroyed(structure);
}

bool Hook_APrimalStructure_Die(APrimalStructure* structure, float damage, FDamageEvent* event,
                               AController* killer, AActor* causer) {
  return original::Die(structure, damage, event, killer, causer);
}

bool Hook_APrimalStructure_Demolish(APrimalStructure* structure, APlayerController* by,
                                    AActor* tool) {
  return original::Demolish(structure, by, tool);
}

}  // namespace cairnward
