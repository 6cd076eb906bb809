#pragma once

#include <map>
#include <string>
#include <vector>

#include "api/ark_api.h"
#include "api/game_access.h"

namespace standin {

// Replacements of game functions, chained per name: a call of the game
// function enters the newest replacement, which passes on through its slot.
class HookRegistry : public ArkApi::IHooks {
 public:
  bool SetHookInternal(const std::string& func_name, void* detour, void** original) override;
  bool DisableHook(const std::string& func_name, void* detour) override;
  using ArkApi::IHooks::DisableHook;

  // Where a call of the game function enters: its newest replacement, or itself.
  template <typename R, typename... Args>
  R (*Entry(GameFunction<R(Args...)> function) const)
  (Args...) {
    return reinterpret_cast<R (*)(Args...)>(EntryAddress(function.name));
  }

  [[nodiscard]] void* EntryAddress(const std::string& func_name) const;
  [[nodiscard]] std::size_t Count() const;
  [[nodiscard]] std::vector<std::string> HookedNames() const;
  [[nodiscard]] bool IsHooked(const std::string& func_name, void* detour) const;
  void Clear() { chains_.clear(); }

 private:
  struct Link {
    void* detour;
    void** original;
  };
  void Relink(const std::string& func_name);

  std::map<std::string, std::vector<Link>> chains_;
};

}  // namespace standin
