// Fuzz target: config.json as an administrator might leave it. The document
// is loaded with, and reloaded over a good configuration; then every command
// and every hook runs against a small world. Nothing may reach the host, no
// game string may leak, and the sanitizers must stay quiet.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_server.h"

namespace cairnward::fuzz {
namespace {

using standin::SimPlayerController;

struct Cast {
  SimPlayerController* member = nullptr;  // in tribe 5001, aims at a structure
  SimPlayerController* loner = nullptr;   // own team 3002, aims at something else
  SimPlayerController* dead_admin = nullptr;
  SimPlayerController* uncounted = nullptr;  // own team 500
  SimPlayerController* newcomer = nullptr;
  std::vector<SimPlayerController*> Everyone() const {
    return {member, loner, dead_admin, uncounted, newcomer};
  }
};

Cast Populate(FuzzServer& fuzz) {
  standin::World& world = fuzz.world();
  Cast cast;
  cast.member = world.AddPlayer("Member", 101, 3001);
  standin::SimTribeData* tribe = world.TribeById(5001);
  cast.member->player_state->in_tribe = true;
  cast.member->player_state->current_tribe_data = tribe;
  cast.member->targeting_team = cast.member->player_state->targeting_team = 5001;
  cast.loner = world.AddPlayer("Loner", 102, 3002);
  cast.dead_admin = world.AddPlayer("Admin", 103, 3003);
  fuzz.server().AddToGroup(103, u"Admins");
  world.TakeCharacter(cast.dead_admin);
  cast.uncounted = world.AddPlayer("Uncounted", 104, 500);
  cast.newcomer = world.AddPlayer("Newcomer", 105, 3005);

  const std::int32_t teams[] = {5001, 3002, 500};
  for (const char* blueprint : kBlueprints) {
    for (const std::int32_t team : teams) {
      world.SpawnActor(world.BlueprintClass(blueprint), team);
    }
  }
  // Aimed at things no event removes: a structure of nobody's, and an actor
  // that is no structure.
  cast.member->character->aimed_actor = world.SpawnActor(world.BlueprintClass(kWall), 0);
  cast.loner->character->aimed_actor =
      world.SpawnActor(world.BlueprintClass("/Game/Dinos/Raft.Raft", false), 3002);
  return cast;
}

void RunCommands(FuzzServer& fuzz, const Cast& cast) {
  standin::Server& server = fuzz.server();
  for (const std::u16string& name : server.Commands().ChatNames()) {
    for (SimPlayerController* player : cast.Everyone()) {
      Chat(server, player, name + u" now");
    }
  }
  for (SimPlayerController* player : {cast.member, cast.loner, cast.dead_admin}) {
    Console(server, player, u"GetBp");
  }
  Console(server, cast.member, u"UpdateStructures");
  Console(server, cast.dead_admin, u"UpdateStructures");
  Console(server, cast.member, u"cairnward.reload");
  Rcon(server, u"UpdateStructures all", 7);
  Rcon(server, u"cairnward.reload", 8);
  Console(server, cast.member, u"cairnward.limits Loner");
  Rcon(server, u"cairnward.limits 5001", 9);
}

void RunEvents(FuzzServer& fuzz, const Cast& cast) {
  standin::Server& server = fuzz.server();
  standin::World& world = fuzz.world();
  AsHost("the game-mode start", [&] { server.StartGameMode(); });
  for (const char* blueprint : kBlueprints) {
    AsHost("a placement", [&] {
      for (SimPlayerController* player : cast.Everyone()) {
        server.Place(player, blueprint, {.aim_calls = 1});
      }
      server.Place(nullptr, blueprint, {.aim_calls = 0});
    });
  }
  AsHost("placements the game judges itself", [&] {
    server.Place(cast.loner, kWall, {.game_allows = false, .aim_calls = 0});
    server.Place(cast.loner, kWall, {.game_answer = 7, .aim_calls = 0});
  });
  AsHost("tribe changes", [&] {
    server.CreateTribe(cast.loner, 5002);
    server.Invite(cast.uncounted, cast.member);
    server.Merge(cast.loner, cast.member);
    server.ForceJoin(cast.dead_admin, 5003);
    server.AddToTribe(cast.newcomer, world.TribeById(5001), true, false, false, cast.member);
    server.AddToTribe(cast.newcomer, world.TribeById(5001), false, false, true, nullptr);
    world.refuse_tribe_joins = 1;
    server.Invite(cast.newcomer, cast.member);
    server.Invite(cast.newcomer, cast.member);
    server.LeaveTribe(cast.member);
  });
  const std::int32_t teams[] = {5001, 5002, 3005, 500};
  for (const std::int32_t team : teams) {
    AsHost("removals", [&] {
      const auto owned = standin::StructuresOf(world, team);
      for (std::size_t i = 0; i < owned.size() && i < 4; ++i) {
        server.Destroy(owned[i], i % 2 == 0 ? standin::Via::kDie : standin::Via::kDemolish);
      }
    });
  }
}

}  // namespace
}  // namespace cairnward::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cairnward::fuzz;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  FuzzServer fuzz;
  const Cast cast = Populate(fuzz);

  // Loaded with the document.
  fuzz.WriteConfig(document);
  if (fuzz.Attach()) {
    RunCommands(fuzz, cast);
    RunEvents(fuzz, cast);
    fuzz.Detach();
  }

  // Reloaded over a good configuration, which stays in force when the
  // document cannot be read.
  fuzz.WriteConfig(FuzzConfig());
  if (!fuzz.Attach()) {
    Fail("the baseline configuration does not load");
  }
  fuzz.WriteConfig(document);
  Console(fuzz.server(), cast.member, u"cairnward.reload");
  const auto replies = Rcon(fuzz.server(), u"cairnward.reload", 1);
  // A refused document leaves the good configuration in force, on which
  // everything would only run as it does for every other refused input.
  if (!replies.empty() && replies.back().text == u"Reloaded config") {
    RunCommands(fuzz, cast);
    RunEvents(fuzz, cast);
  }
  return 0;
}
