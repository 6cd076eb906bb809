// Console commands that run the server and its plug-in.
#include <chrono>
#include <filesystem>
#include <thread>

#include <fmt/format.h>

#include "commands.h"
#include "plugin_install.h"

namespace devserver {
namespace {

constexpr const char* kPluginName = "Cairnward";

void PluginLoad(Context& c, Args& args) {
  args.Finish();
  // A loaded library is left alone: the host refuses the second load itself.
  if (!c.server.PluginLoaded()) {
    const auto installed = c.server.PluginDir(kPluginName) / (std::string(kPluginName) + ".so");
    if (InstallPlugin(c.built_plugin, installed)) {
      c.out.Say(fmt::format("plugin: installed the fresh build {} as {}", c.built_plugin.string(),
                            installed.string()));
    }
  }
  c.server.LoadPlugin(kPluginName);
}

void PluginUnload(Context& c, Args& args) {
  args.Finish();
  if (!c.server.PluginLoaded()) {
    throw CommandError("no plug-in is loaded");
  }
  c.server.UnloadPlugin();
}

void ServerStatus(Context& c, Args& args) {
  const int status = ParseNumber<int>(args.Word("N"), "N");
  args.Finish();
  c.server.SetStatus(status);
  c.out.Say(fmt::format("server: status is now {}", status));
}

void ConfigUse(Context& c, Args& args) {
  // Relative to the working directory, as a shell user would expect.
  const std::filesystem::path source = args.Word("FILE");
  args.Finish();
  if (!std::filesystem::is_regular_file(source)) {
    throw CommandError(fmt::format("no such file: {}", source.string()));
  }
  const auto target = c.server.PluginDir(kPluginName) / "config.json";
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  c.out.Say(fmt::format("config: copied {} to {}", source.string(), target.string()));
}

// Lets time pass on the game thread, as between a real server's ticks: the
// plug-in's own threads (its link to a cluster's Redis) go on meanwhile.
void Sleep(Context& c, Args& args) {
  const int ms = ParseNumber<int>(args.Word("MS"), "MS", 0, 60000);
  args.Finish();
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  c.out.Say(fmt::format("server: slept {} ms", ms));
}

void Help(Context& c, Args& args) {
  args.Finish();
  for (const std::string& usage : c.console.Usages()) {
    c.out.Say(usage);
  }
}

}  // namespace

void AddServerCommands(Context& context) {
  Console& console = context.console;
  Context* c = &context;
  console.Add("plugin load", "plugin load", [c](Args& args) { PluginLoad(*c, args); });
  console.Add("plugin unload", "plugin unload", [c](Args& args) { PluginUnload(*c, args); });
  console.Add("server status", "server status N", [c](Args& args) { ServerStatus(*c, args); });
  console.Add("config use", "config use FILE", [c](Args& args) { ConfigUse(*c, args); });
  console.Add("sleep", "sleep MS", [c](Args& args) { Sleep(*c, args); });
  // Narration for scripts: the text alone, without the command before it.
  console.Add(
      "echo", "echo [TEXT]", [c](Args& args) { c->out.Say(args.Rest()); }, Console::Echo::kHide);
  console.Add("help", "help", [c](Args& args) { Help(*c, args); });
  console.Add("quit", "quit", [c](Args& args) {
    args.Finish();
    c->console.Quit();
  });
}

}  // namespace devserver
