#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "standin/objects.h"

namespace standin {

// One build check as the game's own function received it.
struct BuildCheckCall {
  SimObject* structure = nullptr;
  SimObject* controller = nullptr;
  bool final_placement = false;
};

// One tribe join as the game's own function received it.
struct TribeJoinCall {
  SimObject* player_state = nullptr;
  SimObject* tribe = nullptr;
  bool merge = false;
  bool force = false;
  bool invite = false;
  SimObject* inviter = nullptr;
};

// The simulated game world: classes, the persistent level and its actors,
// players with their tribes. It owns every object it hands out.
class World {
 public:
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Classes. The structure class answers "APrimalStructure.GetPrivateStaticClass".
  SimClass* ObjectClass() const { return object_class_; }
  SimClass* ActorClass() const { return actor_class_; }
  SimClass* StructureClass() const { return structure_class_; }

  // The blueprint class of an object path such as "/Game/Structures/Wall.Wall":
  // class "Wall_C", default object "Wall_C /Game/Structures/Wall.Default__Wall_C".
  // Made on first use.
  SimClass* BlueprintClass(const std::string& object_path, bool structure = true);
  // A class whose default object answers exactly `default_full_name`.
  SimClass* MakeClass(const std::u16string& class_name, SimClass* super,
                      const std::u16string& default_full_name);

  // Actors in the persistent level, as a loaded save puts them there.
  SimActor* SpawnActor(SimClass* cls, std::int32_t team);
  // Takes the actor out of the level (its slot becomes null) and destroys it.
  void RemoveActor(SimActor* actor);
  // Drops the null slots that removals left behind.
  void CompactLevel();
  // The actor with that id if it stands in the level, else null.
  SimActor* LevelActor(std::uint64_t id) const;

  SimWorld* GameWorld() const { return world_; }
  SimLevel* Level() const { return level_; }
  SimGameMode* GameMode() const { return game_mode_; }

  // Players and tribes.
  SimPlayerController* AddPlayer(const std::string& name, std::uint64_t steam_id,
                                 std::int32_t own_team);
  SimPlayerController* FindPlayer(const std::string& name) const;
  const std::vector<SimPlayerController*>& Players() const { return players_; }
  SimCharacter* GiveCharacter(SimPlayerController* player);
  void TakeCharacter(SimPlayerController* player);
  SimTribeData* TribeById(std::int32_t tribe_id);  // made on first use

  SimRconConnection* MakeRconConnection();
  // Also stops every character aiming at the object, so that no aim outlives
  // its target.
  void DestroyObject(SimObject* object);

  SimObject* FindById(std::uint64_t id) const;

  // The game's own side of the hooked functions: what the original functions
  // answer, and which of them ran (by name, oldest first).
  int build_verdict = 1;
  std::vector<std::string> original_calls;
  // What the game's build check and tribe join were handed, oldest first.
  std::vector<BuildCheckCall> build_checks;
  std::vector<TribeJoinCall> tribe_joins;
  // The game turns down this many of the next tribe joins, changing nothing.
  int refuse_tribe_joins = 0;
  // The game spawns nothing for this many of the next placements that the
  // final build check allowed, as when another plug-in's hook above ours, or
  // the game's own later checks, turn them down.
  int refuse_placements = 0;

  template <typename T>
  T* Make() {
    auto owned = std::make_unique<T>();
    T* raw = owned.get();
    Adopt(std::move(owned));
    return raw;
  }

 private:
  void Adopt(std::unique_ptr<SimObject> object);

  std::unordered_map<SimObject*, std::unique_ptr<SimObject>> objects_;
  std::unordered_map<std::uint64_t, SimObject*> by_id_;
  std::uint64_t next_id_ = 1;
  SimClass* meta_class_ = nullptr;
  SimClass* object_class_ = nullptr;
  SimClass* actor_class_ = nullptr;
  SimClass* structure_class_ = nullptr;
  SimClass* controller_class_ = nullptr;
  SimClass* player_state_class_ = nullptr;
  SimClass* character_class_ = nullptr;
  std::map<std::string, SimClass*> blueprints_;
  std::map<std::int32_t, SimTribeData*> tribes_;
  std::vector<SimPlayerController*> players_;
  SimWorld* world_ = nullptr;
  SimLevel* level_ = nullptr;
  SimGameMode* game_mode_ = nullptr;
};

}  // namespace standin
