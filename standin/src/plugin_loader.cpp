#include "standin/plugin_loader.h"

#include <dlfcn.h>

#include <exception>

#include <spdlog/logger.h>

#include "api/plugin_entry.h"
#include "standin/command_registry.h"
#include "standin/hook_registry.h"
#include "standin/strict.h"

namespace standin {

PluginLoader::PluginLoader(HookRegistry& hooks, CommandRegistry& commands, spdlog::logger& log)
    : hooks_(hooks), commands_(commands), log_(log) {}

PluginLoader::~PluginLoader() {
  Unload();
}

bool PluginLoader::Load(const std::filesystem::path& library, const std::string& name) {
  if (Loaded()) {
    log_.error("Plugin {} is loaded already", name_);
    return false;
  }
  dlerror();
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    log_.error("Failed to load plugin {}: {}", name, why != nullptr ? why : "unknown error");
    return false;
  }
  auto entry = reinterpret_cast<plugin_entry::EntryFn>(dlsym(handle, plugin_entry::kSymbol));
  if (entry == nullptr) {
    log_.error("Plugin {} has no entry routine \"{}\"", name, plugin_entry::kSymbol);
    log_.error("Failed to load plugin {}", name);
    dlclose(handle);
    return false;
  }
  if (!Attach(entry, name)) {
    dlclose(handle);
    return false;
  }
  handle_ = handle;
  return true;
}

bool PluginLoader::LoadLinked(plugin_entry::EntryFn entry, const std::string& name) {
  if (Loaded()) {
    log_.error("Plugin {} is loaded already", name_);
    return false;
  }
  return Attach(entry, name);
}

bool PluginLoader::Attach(plugin_entry::EntryFn entry, const std::string& name) {
  hooks_before_ = hooks_.Count();
  commands_before_ = commands_.Count();
  name_ = name;
  bool attached = false;
  try {
    attached = entry(plugin_entry::kAttach);
  } catch (const std::exception& e) {
    NoteViolation("plug-in " + name_ + " let an exception escape its entry routine: " + e.what());
  } catch (...) {
    NoteViolation("plug-in " + name_ + " let an unknown exception escape its entry routine");
  }
  if (!attached) {
    CheckNothingLeft("after its failed load");
    log_.error("Failed to load plugin {}", name);
    return false;
  }
  entry_ = entry;
  log_.info("Loaded plugin {}", name);
  return true;
}

void PluginLoader::Unload() {
  if (!Loaded()) {
    return;
  }
  using UnloadFn = void (*)();
  if (handle_ != nullptr) {
    if (auto unload = reinterpret_cast<UnloadFn>(dlsym(handle_, plugin_entry::kUnloadSymbol))) {
      unload();
    }
  }
  try {
    entry_(plugin_entry::kDetach);
  } catch (...) {
    NoteViolation("plug-in " + name_ + " let an exception escape its detach notification");
  }
  CheckNothingLeft("after its unload");
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  entry_ = nullptr;
  log_.info("Unloaded plugin {}", name_);
}

void PluginLoader::CheckNothingLeft(const char* when) {
  // The library's code goes away next: anything it left registered would be
  // called into freed memory, so it is reported and taken out here.
  if (hooks_.Count() > hooks_before_) {
    NoteViolation("plug-in " + name_ + " left " + std::to_string(hooks_.Count() - hooks_before_) +
                  " hook(s) installed " + when);
    hooks_.Clear();
  }
  if (commands_.Count() > commands_before_) {
    NoteViolation("plug-in " + name_ + " left " +
                  std::to_string(commands_.Count() - commands_before_) + " command(s) registered " +
                  when);
    commands_.Clear();
  }
}

}  // namespace standin
