// Console commands for what players do besides building: chat and console
// lines, which the host hands to the commands registered for them, dying and
// coming back, and aiming at an actor.
#include <cstdint>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "commands.h"
#include "standin/utf8.h"

namespace devserver {
namespace {

void Chat(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const std::string text = args.RequiredRest("TEXT");
  const bool command = c.server.Chat(PlayerNamed(c, name), standin::Utf8ToUtf16(text));
  c.out.ChatLine(name, text, command);
}

void ConsoleCommand(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const std::string text = args.RequiredRest("TEXT");
  if (!c.server.Console(PlayerNamed(c, name), standin::Utf8ToUtf16(text))) {
    throw CommandError(
        fmt::format("no console command is named \"{}\"", text.substr(0, text.find(' '))));
  }
  c.out.ConsoleLine(name, text);
}

void Kill(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  args.Finish();
  standin::SimPlayerController* player = PlayerNamed(c, name);
  if (player->character == nullptr) {
    throw CommandError(fmt::format("{} is dead already", name));
  }
  c.server.GetWorld().TakeCharacter(player);
  c.out.Life(name, false);
}

void Revive(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  args.Finish();
  standin::SimPlayerController* player = PlayerNamed(c, name);
  if (player->character != nullptr) {
    throw CommandError(fmt::format("{} is alive", name));
  }
  c.server.GetWorld().GiveCharacter(player);
  c.out.Life(name, true);
}

void Aim(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const std::string target = args.Word("ID or none");
  args.Finish();
  const std::optional<std::uint64_t> id =
      target == "none" ? std::nullopt
                       : std::optional<std::uint64_t>(ParseNumber<std::uint64_t>(target, "ID"));
  standin::SimPlayerController* player = PlayerNamed(c, name);
  if (player->character == nullptr) {
    throw CommandError(fmt::format("{} is dead and cannot aim", name));
  }
  standin::SimActor* actor = nullptr;
  if (id) {
    actor = c.server.GetWorld().LevelActor(*id);
    if (actor == nullptr) {
      throw CommandError(fmt::format("no actor with id {} is in the level", *id));
    }
  }
  player->character->aimed_actor = actor;
  c.out.Aim(name, id, actor != nullptr ? standin::Utf16ToUtf8(actor->cls->class_name) : "");
}

}  // namespace

void AddPlayerCommands(Context& context) {
  Console& console = context.console;
  Context* c = &context;
  console.Add("chat", "chat PLAYER TEXT", [c](Args& args) { Chat(*c, args); });
  console.Add("console", "console PLAYER TEXT", [c](Args& args) { ConsoleCommand(*c, args); });
  console.Add("kill", "kill PLAYER", [c](Args& args) { Kill(*c, args); });
  console.Add("revive", "revive PLAYER", [c](Args& args) { Revive(*c, args); });
  console.Add("aim", "aim PLAYER ID|none", [c](Args& args) { Aim(*c, args); });
}

}  // namespace devserver
