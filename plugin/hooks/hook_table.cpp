#include <array>
#include <type_traits>

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

namespace {

// One hook: the game function it replaces, the replacement, and the slot the
// host fills with the original. Installation and removal both read this one
// table, so the two can never disagree.
struct Hook {
  const char* function;
  void* replacement;
  void** original;
};

// The replacement and the slot must have the game function's exact type.
template <typename Descriptor, typename Fn>
Hook HookOf(Descriptor descriptor, Fn* replacement, Fn** original) {
  static_assert(std::is_same_v<Fn*, GameFn<Descriptor>>);
  return {descriptor.name, reinterpret_cast<void*>(replacement),
          reinterpret_cast<void**>(original)};
}

const std::array<Hook, 6>& HookTable() {
  static const std::array<Hook, 6> table = {
      HookOf(game::kInitGame, &Hook_AShooterGameMode_InitGame, &original::InitGame),
      HookOf(game::kIsAllowedToBuild, &Hook_APrimalStructure_IsAllowedToBuild,
             &original::IsAllowedToBuild),
      HookOf(game::kAddToTribe, &Hook_AShooterPlayerState_AddToTribe, &original::AddToTribe),
      HookOf(game::kDestroyed, &Hook_APrimalStructure_Destroyed, &original::Destroyed),
      HookOf(game::kDie, &Hook_APrimalStructure_Die, &original::Die),
      HookOf(game::kDemolish, &Hook_APrimalStructure_Demolish, &original::Demolish),
  };
  return table;
}

}  // namespace

void InstallHooks() {
  auto& hooks = ArkApi::GetHooks();
  for (const Hook& hook : HookTable()) {
    hooks.SetHookInternal(hook.function, hook.replacement, hook.original);
  }
}

void RemoveHooks() {
  auto& hooks = ArkApi::GetHooks();
  for (const Hook& hook : HookTable()) {
    hooks.DisableHook(hook.function, hook.replacement);
  }
}

}  // namespace cairnward
