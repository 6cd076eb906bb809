#include "api/ark_api.h"
#include "hooks/hooks.h"

namespace cairnward {

namespace original {
GameFn<decltype(game::kInitGame)> InitGame = nullptr;
GameFn<decltype(game::kIsAllowedToBuild)> IsAllowedToBuild = nullptr;
GameFn<decltype(game::kAddToTribe)> AddToTribe = nullptr;
GameFn<decltype(game::kDestroyed)> Destroyed = nullptr;
GameFn<decltype(game::kDie)> Die = nullptr;
GameFn<decltype(game::kDemolish)> Demolish = nullptr;
}  // namespace original

void InstallHooks() {
  auto& hooks = ArkApi::GetHooks();
  hooks.SetHook(game::kInitGame.name, &Hook_AShooterGameMode_InitGame, &original::InitGame);
  hooks.SetHook(game::kIsAllowedToBuild.name, &Hook_APrimalStructure_IsAllowedToBuild,
                &original::IsAllowedToBuild);
  hooks.SetHook(game::kAddToTribe.name, &Hook_AShooterPlayerState_AddToTribe,
                &original::AddToTribe);
  hooks.SetHook(game::kDestroyed.name, &Hook_APrimalStructure_Destroyed, &original::Destroyed);
  hooks.SetHook(game::kDie.name, &Hook_APrimalStructure_Die, &original::Die);
  hooks.SetHook(game::kDemolish.name, &Hook_APrimalStructure_Demolish, &original::Demolish);
}

void RemoveHooks() {
  auto& hooks = ArkApi::GetHooks();
  hooks.DisableHook(game::kInitGame.name, &Hook_AShooterGameMode_InitGame);
  hooks.DisableHook(game::kIsAllowedToBuild.name, &Hook_APrimalStructure_IsAllowedToBuild);
  hooks.DisableHook(game::kAddToTribe.name, &Hook_AShooterPlayerState_AddToTribe);
  hooks.DisableHook(game::kDestroyed.name, &Hook_APrimalStructure_Destroyed);
  hooks.DisableHook(game::kDie.name, &Hook_APrimalStructure_Die);
  hooks.DisableHook(game::kDemolish.name, &Hook_APrimalStructure_Demolish);
}

}  // namespace cairnward
