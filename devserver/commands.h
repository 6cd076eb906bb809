#pragma once

#include <string>

#include <filesystem>

#include "console.h"
#include "events.h"
#include "standin/server.h"

namespace devserver {

// What every console command works on.
struct Context {
  standin::Server& server;
  EventOutput& out;
  Console& console;
  std::filesystem::path built_plugin;  // the plug-in library this build made
};

// plugin load|unload, server status, config use, echo, quit.
void AddServerCommands(Context& context);
// spawn, spawn-other, player add.
void AddWorldCommands(Context& context);
// place, destroy, tribe create|invite|merge|force|leave, gamemode start.
void AddEventCommands(Context& context);
// chat, console, kill, revive, aim.
void AddPlayerCommands(Context& context);

// The connected player of that name; a CommandError when there is none.
standin::SimPlayerController* PlayerNamed(Context& c, const std::string& name);

// rcon TEXT: an RCON command run in-process, as from a client.
void AddRconCommands(Context& context);

// The object path of a blueprint, also accepted in the form the
// configuration names it: Blueprint'/Game/Structures/Wall.Wall'.
std::string ObjectPathArgument(const std::string& argument);

}  // namespace devserver
