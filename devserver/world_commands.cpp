// Console commands that put things into the simulated world directly, as a
// loaded save would: no hook runs for them.
#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "commands.h"
#include "standin/blueprint_path.h"
#include "standin/utf8.h"

namespace devserver {

std::string ObjectPathArgument(const std::string& argument) {
  std::string text = standin::ObjectPathOf(argument);
  if (text.empty() || text.front() != '/') {
    throw UsageError(
        fmt::format("\"{}\" is no object path such as /Game/Structures/Wall.Wall", text));
  }
  return text;
}

namespace {

constexpr std::int32_t kMaxCount = 1'000'000;
constexpr const char* kOtherBlueprint = "/Game/Creatures/Dodo.Dodo";

void SpawnMany(Context& c, standin::SimClass* cls, std::int32_t team, std::int32_t count) {
  std::vector<std::uint64_t> ids;
  ids.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    ids.push_back(c.server.GetWorld().SpawnActor(cls, team)->id);
  }
  c.out.Spawned(ids, standin::Utf16ToUtf8(cls->class_name), team);
}

void Spawn(Context& c, Args& args) {
  const std::string path = ObjectPathArgument(args.Word("BLUEPRINT"));
  const auto team = args.Number<std::int32_t>("team");
  const auto count = args.NumberOr<std::int32_t>("count", 1, 1, kMaxCount);
  args.Finish();
  standin::SimClass* cls = c.server.GetWorld().BlueprintClass(path, true);
  if ((cls->default_object->kinds & standin::kStructure) == 0) {
    throw CommandError(fmt::format("{} is in use as a blueprint that is no structure", path));
  }
  SpawnMany(c, cls, team, count);
}

void SpawnOther(Context& c, Args& args) {
  const auto team = args.NumberOr<std::int32_t>("team", 0);
  const auto count = args.NumberOr<std::int32_t>("count", 1, 1, kMaxCount);
  args.Finish();
  standin::SimClass* cls = c.server.GetWorld().BlueprintClass(kOtherBlueprint, false);
  if ((cls->default_object->kinds & standin::kStructure) != 0) {
    throw CommandError(fmt::format("{} is in use as a structure blueprint", kOtherBlueprint));
  }
  SpawnMany(c, cls, team, count);
}

void PlayerAdd(Context& c, Args& args) {
  const std::string name = args.Word("NAME");
  const auto steam_id = args.Number<std::uint64_t>("steam");
  const auto team = args.Number<std::int32_t>("team");
  const bool admin = args.Flag("admin");
  args.Finish();
  auto& world = c.server.GetWorld();
  if (world.FindPlayer(name) != nullptr) {
    throw CommandError(fmt::format("a player named {} is connected already", name));
  }
  world.AddPlayer(name, steam_id, team);
  if (admin) {
    c.server.AddToGroup(steam_id, u"Admins");
  }
  c.out.Say(fmt::format("player: {} joined (steam {}, team {}{})", name, steam_id, team,
                        admin ? ", in group Admins" : ""));
}

}  // namespace

void AddWorldCommands(Context& context) {
  Console& console = context.console;
  Context* c = &context;
  console.Add("spawn", "spawn BLUEPRINT team=N [count=K]", [c](Args& args) { Spawn(*c, args); });
  console.Add("spawn-other", "spawn-other [team=N] [count=K]",
              [c](Args& args) { SpawnOther(*c, args); });
  console.Add("player add", "player add NAME steam=ID team=N [admin]",
              [c](Args& args) { PlayerAdd(*c, args); });
}

}  // namespace devserver
