#include "standin/hook_registry.h"

#include <algorithm>

#include "standin/registry.h"
#include "standin/strict.h"

namespace standin {

bool HookRegistry::SetHookInternal(const std::string& func_name, void* detour, void** original) {
  if (!HasFunction(func_name)) {
    Violation("SetHook: unknown game function \"" + func_name + "\"");
  }
  if (detour == nullptr || original == nullptr) {
    Violation("SetHook \"" + func_name + "\": null replacement or slot");
  }
  auto& chain = chains_[func_name];
  if (IsHooked(func_name, detour)) {
    Violation("SetHook \"" + func_name + "\": this replacement is installed already");
  }
  chain.push_back({detour, original});
  Relink(func_name);
  return true;
}

bool HookRegistry::DisableHook(const std::string& func_name, void* detour) {
  const auto it = chains_.find(func_name);
  if (it == chains_.end()) {
    return false;
  }
  auto& chain = it->second;
  const auto link =
      std::find_if(chain.begin(), chain.end(), [&](const Link& l) { return l.detour == detour; });
  if (link == chain.end()) {
    return false;
  }
  chain.erase(link);
  if (chain.empty()) {
    chains_.erase(it);
  } else {
    Relink(func_name);
  }
  return true;
}

void HookRegistry::Relink(const std::string& func_name) {
  void* below = FunctionAddress(func_name);
  for (Link& link : chains_[func_name]) {
    *link.original = below;
    below = link.detour;
  }
}

void* HookRegistry::EntryAddress(const std::string& func_name) const {
  const auto it = chains_.find(func_name);
  if (it == chains_.end() || it->second.empty()) {
    return FunctionAddress(func_name);
  }
  return it->second.back().detour;
}

std::size_t HookRegistry::Count() const {
  std::size_t count = 0;
  for (const auto& entry : chains_) {
    count += entry.second.size();
  }
  return count;
}

std::vector<std::string> HookRegistry::HookedNames() const {
  std::vector<std::string> names;
  for (const auto& entry : chains_) {
    for (std::size_t i = 0; i < entry.second.size(); ++i) {
      names.push_back(entry.first);
    }
  }
  return names;
}

bool HookRegistry::IsHooked(const std::string& func_name, void* detour) const {
  const auto it = chains_.find(func_name);
  return it != chains_.end() && std::any_of(it->second.begin(), it->second.end(),
                                            [&](const Link& l) { return l.detour == detour; });
}

}  // namespace standin
