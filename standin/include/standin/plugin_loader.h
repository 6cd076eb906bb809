#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "api/plugin_entry.h"

namespace spdlog {
class logger;
}  // namespace spdlog

namespace standin {

class CommandRegistry;
class HookRegistry;

// Loads a plug-in library the way the host does: the dynamic loader, then the
// attach notification through the library's entry routine; detach and release
// on unload. A plug-in must leave nothing registered once it is gone. A
// plug-in linked into the host's own program (a fuzz target, a benchmark) is
// attached and detached through its entry routine the same way.
class PluginLoader {
 public:
  PluginLoader(HookRegistry& hooks, CommandRegistry& commands, spdlog::logger& log);
  ~PluginLoader();
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

  bool Load(const std::filesystem::path& library, const std::string& name);
  bool LoadLinked(plugin_entry::EntryFn entry, const std::string& name);
  void Unload();
  [[nodiscard]] bool Loaded() const { return entry_ != nullptr; }

 private:
  bool Attach(plugin_entry::EntryFn entry, const std::string& name);
  void CheckNothingLeft(const char* when);

  HookRegistry& hooks_;
  CommandRegistry& commands_;
  spdlog::logger& log_;
  void* handle_ = nullptr;  // null for a linked plug-in
  plugin_entry::EntryFn entry_ = nullptr;
  std::string name_;
  std::size_t hooks_before_ = 0;
  std::size_t commands_before_ = 0;
};

}  // namespace standin
