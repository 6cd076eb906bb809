#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/game_types.h"
#include "api/tarray.h"

namespace standin {

// What a host object is, as bits: an object answers every field and function
// of each kind it carries, and nothing else.
enum Kind : std::uint32_t {
  kObject = 1U << 0U,
  kClass = 1U << 1U,
  kWorld = 1U << 2U,
  kLevel = 1U << 3U,
  kActor = 1U << 4U,
  kController = 1U << 5U,
  kPlayerController = 1U << 6U,
  kPlayerState = 1U << 7U,
  kStructure = 1U << 8U,
  kGameMode = 1U << 9U,
  kCharacter = 1U << 10U,
  kPlayerData = 1U << 11U,
  kTribeData = 1U << 12U,
  kRconConnection = 1U << 13U,
};

struct SimClass;

// Every object the game hands to a plug-in. The plug-in sees its address as a
// pointer to one of the game's types and reaches its members by name only.
struct SimObject {
  explicit SimObject(std::uint32_t kind_bits) : kinds(kind_bits | kObject) {}
  virtual ~SimObject() = default;
  SimObject(const SimObject&) = delete;
  SimObject& operator=(const SimObject&) = delete;

  std::uint32_t kinds;
  SimClass* cls = nullptr;            // "UObjectBase.Class"
  std::u16string path;                // object path; the full name is the class name, a space, this
  std::u16string full_name_override;  // when set, "GetFullName" answers exactly this
  std::uint64_t id = 0;               // the host's own handle, shown to people
};

struct SimClass : SimObject {
  SimClass() : SimObject(kClass) {}
  std::u16string class_name;
  SimClass* super = nullptr;
  SimObject* default_object = nullptr;
};

struct SimActor : SimObject {
  explicit SimActor(std::uint32_t kind_bits = 0) : SimObject(kind_bits | kActor) {}
  std::int32_t targeting_team = 0;  // "AActor.TargetingTeam"
  SimObject* owner_controller = nullptr;
};

struct SimTribeData : SimObject {
  SimTribeData() : SimObject(kTribeData) {}
  std::int32_t tribe_id = 0;  // "FTribeData.TribeID"
  std::u16string tribe_name;
};

struct SimPlayerData : SimObject {
  SimPlayerData() : SimObject(kPlayerData) {}
  std::int32_t own_team_id = 0;  // answered by "UPrimalPlayerData.GetTribeTeamID"
};

struct SimPlayerState : SimActor {
  SimPlayerState() : SimActor(kPlayerState) {}
  SimPlayerData* my_player_data = nullptr;     // "AShooterPlayerState.MyPlayerData"
  SimTribeData* current_tribe_data = nullptr;  // "AShooterPlayerState.CurrentTribeDataPtr"
  bool in_tribe = false;                       // answered by "AShooterPlayerState.IsInTribe"
};

struct SimCharacter : SimActor {
  SimCharacter() : SimActor(kCharacter) {}
  SimActor* aimed_actor = nullptr;  // answered by "APrimalCharacter.GetAimedActor"
};

struct SimController : SimActor {
  explicit SimController(std::uint32_t kind_bits = 0) : SimActor(kind_bits | kController) {}
  SimPlayerState* player_state = nullptr;  // "AController.PlayerState"
};

struct SimPlayerController : SimController {
  SimPlayerController() : SimController(kPlayerController) {}
  std::uint64_t steam_id = 0;
  SimCharacter* character = nullptr;  // null while the player has no living character
  std::string player_name;
};

struct SimLevel : SimObject {
  SimLevel() : SimObject(kLevel) {}
  std::vector<AActor*> slots;  // destroyed actors leave a null slot, as in the game
  TArray<AActor*> actors;      // "ULevelBase.Actors": a view of `slots`
  void SyncActors() {
    actors.Data = slots.data();
    actors.ArrayNum = static_cast<std::int32_t>(slots.size());
    actors.ArrayMax = static_cast<std::int32_t>(slots.capacity());
  }
};

struct SimWorld : SimObject {
  SimWorld() : SimObject(kWorld) {}
  SimLevel* persistent_level = nullptr;  // "UWorld.PersistentLevel"
};

struct SimGameMode : SimActor {
  SimGameMode() : SimActor(kGameMode) {}
};

// One reply the game sent to an RCON client.
struct RconReply {
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::u16string text;
};

struct SimRconConnection : SimObject {
  SimRconConnection() : SimObject(kRconConnection) {}
  // The client's end: every reply sent on this connection goes there, and
  // only there. Unset, replies are only recorded by the server.
  std::function<void(const RconReply&)> send;
};

// The game's view of a host object and back. Both directions are plain
// address casts; `Checked` also proves the object is alive and of the kind.
template <typename GameType>
GameType* AsGame(SimObject* object) {
  return reinterpret_cast<GameType*>(object);
}

SimObject* Checked(const void* object, std::uint32_t kind, const char* who);

template <typename SimType>
SimType* CheckedAs(const void* object, std::uint32_t kind, const char* who) {
  return static_cast<SimType*>(Checked(object, kind, who));
}

}  // namespace standin
