// Console commands that drive the game's side of events through the hook
// chain, so that a loaded plug-in sees the calls a server would make:
// placing and removing structures, tribe joins, the game mode starting.
#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "commands.h"
#include "standin/game_actions.h"

namespace devserver {

standin::SimPlayerController* PlayerNamed(Context& c, const std::string& name) {
  standin::SimPlayerController* player = c.server.GetWorld().FindPlayer(name);
  if (player == nullptr) {
    throw CommandError(fmt::format("no player named {} is connected", name));
  }
  return player;
}

namespace {

standin::SimClass* StructureClass(Context& c, const std::string& path) {
  standin::SimClass* cls = c.server.GetWorld().BlueprintClass(path, true);
  if ((cls->default_object->kinds & standin::kStructure) == 0) {
    throw CommandError(fmt::format("{} is in use as a blueprint that is no structure", path));
  }
  return cls;
}

// A structure standing in the level, by its id.
standin::SimActor* LiveStructure(Context& c, std::uint64_t id) {
  standin::SimActor* actor = c.server.GetWorld().LevelActor(id);
  if (actor == nullptr || (actor->kinds & standin::kStructure) == 0) {
    throw CommandError(fmt::format("no structure with id {} is in the level", id));
  }
  return actor;
}

void Place(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const std::string path = ObjectPathArgument(args.Word("BLUEPRINT"));
  const std::string game = args.Value("game").value_or("allow");
  args.Finish();
  if (game != "allow" && game != "refuse") {
    throw UsageError(fmt::format("game must be allow or refuse, not \"{}\"", game));
  }
  standin::SimPlayerController* player = PlayerNamed(c, name);
  StructureClass(c, path);  // refuses a blueprint in use as no structure
  const standin::PlaceResult result =
      c.server.Place(player, path, {.game_allows = game == "allow"});
  if (result.actor != nullptr) {
    c.out.Placed(name, path, result.actor->id);
  } else {
    c.out.Refused(name, path, result.refused_by == standin::RefusedBy::kGame ? "game" : "plugin");
  }
}

standin::Via ViaOf(Args& args) {
  const std::string via = args.Value("via").value_or("die");
  if (via == "die") {
    return standin::Via::kDie;
  }
  if (via == "demolish") {
    return standin::Via::kDemolish;
  }
  throw UsageError(fmt::format("via must be die or demolish, not \"{}\"", via));
}

void Destroy(Context& c, Args& args) {
  const standin::Via via = ViaOf(args);
  std::vector<standin::SimActor*> structures;
  if (const auto team_text = args.Value("team")) {
    const auto team = ParseNumber<std::int32_t>(*team_text, "team");
    const std::string path = ObjectPathArgument(args.Word("BLUEPRINT"));
    const auto count = args.NumberOr<std::int32_t>("count", 1, 1);
    args.Finish();
    standin::SimClass* cls = StructureClass(c, path);
    for (standin::SimActor* actor : standin::StructuresOf(c.server.GetWorld(), team)) {
      if (actor->cls == cls && structures.size() < static_cast<std::size_t>(count)) {
        structures.push_back(actor);
      }
    }
    if (structures.size() < static_cast<std::size_t>(count)) {
      throw CommandError(fmt::format("team {} owns {} structures of {}, not {}", team,
                                     structures.size(), path, count));
    }
  } else {
    const auto id = ParseNumber<std::uint64_t>(args.Word("ID"), "ID");
    args.Finish();
    structures.push_back(LiveStructure(c, id));
  }
  c.out.Destroyed(c.server.Destroy(structures, via));
}

void TribeCreate(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const auto id = args.Number<std::int32_t>("id");
  args.Finish();
  c.out.Tribe(name, "create", c.server.CreateTribe(PlayerNamed(c, name), id));
}

void TribeForce(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const auto id = args.Number<std::int32_t>("id");
  args.Finish();
  c.out.Tribe(name, "force", c.server.ForceJoin(PlayerNamed(c, name), id));
}

template <bool kMerge>
void TribeJoin(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  const auto by = args.Value("by");
  if (!by) {
    throw UsageError("missing by=PLAYER");
  }
  args.Finish();
  standin::SimPlayerController* joiner = PlayerNamed(c, name);
  standin::SimPlayerController* inviter = PlayerNamed(c, *by);
  const bool result = kMerge ? c.server.Merge(joiner, inviter) : c.server.Invite(joiner, inviter);
  c.out.Tribe(name, kMerge ? "merge" : "invite", result);
}

void TribeLeave(Context& c, Args& args) {
  const std::string name = args.Word("PLAYER");
  args.Finish();
  c.server.LeaveTribe(PlayerNamed(c, name));
  c.out.Tribe(name, "leave", true);
}

void GameModeStart(Context& c, Args& args) {
  args.Finish();
  c.server.StartGameMode();
  c.out.Say("gamemode: started");
}

}  // namespace

void AddEventCommands(Context& context) {
  Console& console = context.console;
  Context* c = &context;
  console.Add("place", "place PLAYER BLUEPRINT [game=allow|refuse]",
              [c](Args& args) { Place(*c, args); });
  console.Add("destroy", "destroy ID [via=die|demolish] | destroy team=N BLUEPRINT [count=K]",
              [c](Args& args) { Destroy(*c, args); });
  console.Add("tribe create", "tribe create PLAYER id=N",
              [c](Args& args) { TribeCreate(*c, args); });
  console.Add("tribe invite", "tribe invite PLAYER by=PLAYER",
              [c](Args& args) { TribeJoin<false>(*c, args); });
  console.Add("tribe merge", "tribe merge PLAYER by=PLAYER",
              [c](Args& args) { TribeJoin<true>(*c, args); });
  console.Add("tribe force", "tribe force PLAYER id=N", [c](Args& args) { TribeForce(*c, args); });
  console.Add("tribe leave", "tribe leave PLAYER", [c](Args& args) { TribeLeave(*c, args); });
  console.Add("gamemode start", "gamemode start", [c](Args& args) { GameModeStart(*c, args); });
}

}  // namespace devserver
