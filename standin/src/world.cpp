#include "standin/world.h"

#include <algorithm>

#include "api/ark_api.h"
#include "standin/live_objects.h"
#include "standin/strict.h"

namespace standin {
namespace {

std::u16string Widen(const std::string& text) {
  return ArkApi::Tools::Utf8Decode(text);
}

bool DerivesFrom(const SimClass* cls, const SimClass* base) {
  for (const SimClass* c = cls; c != nullptr; c = c->super) {
    if (c == base) {
      return true;
    }
  }
  return false;
}

}  // namespace

World::World() {
  meta_class_ = Make<SimClass>();
  meta_class_->class_name = u"Class";
  meta_class_->path = u"/Script/CoreUObject.Class";
  meta_class_->cls = meta_class_;
  object_class_ = MakeClass(u"Object", nullptr, u"Object /Script/CoreUObject.Default__Object");
  actor_class_ = MakeClass(u"Actor", object_class_, u"Actor /Script/Engine.Default__Actor");
  structure_class_ = MakeClass(u"PrimalStructure", actor_class_,
                               u"PrimalStructure /Script/ShooterGame.Default__PrimalStructure");
  controller_class_ = MakeClass(
      u"ShooterPlayerController_C", actor_class_,
      u"ShooterPlayerController_C /Game/Game/ShooterPC.Default__ShooterPlayerController_C");
  player_state_class_ =
      MakeClass(u"ShooterPlayerState", actor_class_,
                u"ShooterPlayerState /Script/ShooterGame.Default__ShooterPlayerState");
  character_class_ =
      MakeClass(u"PlayerPawnTest_Male_C", actor_class_,
                u"PlayerPawnTest_Male_C /Game/Characters/Human.Default__PlayerPawnTest_Male_C");

  world_ = Make<SimWorld>();
  world_->cls = object_class_;
  world_->path = u"/Game/Maps/Ocean.Ocean";
  level_ = Make<SimLevel>();
  level_->cls = object_class_;
  level_->path = u"/Game/Maps/Ocean.Ocean:PersistentLevel";
  level_->SyncActors();
  world_->persistent_level = level_;
  game_mode_ = Make<SimGameMode>();
  game_mode_->cls = actor_class_;
  game_mode_->path = u"/Game/Maps/Ocean.Ocean:PersistentLevel.ShooterGameMode";
}

World::~World() {
  for (auto& entry : objects_) {
    MarkDead(entry.first);
  }
}

void World::Adopt(std::unique_ptr<SimObject> object) {
  SimObject* raw = object.get();
  raw->id = next_id_++;
  MarkLive(raw);
  by_id_[raw->id] = raw;
  objects_.emplace(raw, std::move(object));
}

void World::DestroyObject(SimObject* object) {
  const auto it = objects_.find(object);
  if (it == objects_.end()) {
    Violation("the world was asked to destroy an object it does not own");
  }
  for (SimPlayerController* player : players_) {
    if (player->character != nullptr && player->character->aimed_actor == object) {
      player->character->aimed_actor = nullptr;
    }
  }
  MarkDead(object);
  by_id_.erase(object->id);
  objects_.erase(it);
}

SimObject* World::FindById(std::uint64_t id) const {
  const auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

SimClass* World::MakeClass(const std::u16string& class_name, SimClass* super,
                           const std::u16string& default_full_name) {
  auto* cls = Make<SimClass>();
  cls->cls = meta_class_;
  cls->class_name = class_name;
  cls->super = super;
  auto* cdo = Make<SimActor>();
  cdo->cls = cls;
  cdo->full_name_override = default_full_name;
  const auto space = default_full_name.find(u' ');
  cdo->path = space == std::u16string::npos ? u"" : default_full_name.substr(space + 1);
  if (structure_class_ != nullptr && DerivesFrom(cls, structure_class_)) {
    cdo->kinds |= kStructure;
  }
  cls->default_object = cdo;
  cls->path = cdo->path;
  return cls;
}

SimClass* World::BlueprintClass(const std::string& object_path, bool structure) {
  const auto found = blueprints_.find(object_path);
  if (found != blueprints_.end()) {
    return found->second;
  }
  const auto dot = object_path.rfind('.');
  const std::string package = dot == std::string::npos ? object_path : object_path.substr(0, dot);
  const std::string object = dot == std::string::npos
                                 ? object_path.substr(object_path.rfind('/') + 1)
                                 : object_path.substr(dot + 1);
  const std::u16string class_name = Widen(object + "_C");
  SimClass* cls = MakeClass(class_name, structure ? structure_class_ : actor_class_,
                            class_name + u" " + Widen(package) + u".Default__" + class_name);
  blueprints_.emplace(object_path, cls);
  return cls;
}

SimActor* World::SpawnActor(SimClass* cls, std::int32_t team) {
  auto* actor = Make<SimActor>();
  actor->cls = cls;
  actor->targeting_team = team;
  if (DerivesFrom(cls, structure_class_)) {
    actor->kinds |= kStructure;
  }
  actor->path = level_->path + u"." + cls->class_name + u"_" +
                ArkApi::Tools::Utf8Decode(std::to_string(actor->id));
  level_->slots.push_back(AsGame<AActor>(actor));
  level_->SyncActors();
  return actor;
}

void World::RemoveActor(SimActor* actor) {
  auto& slots = level_->slots;
  const auto it = std::find(slots.begin(), slots.end(), AsGame<AActor>(actor));
  if (it != slots.end()) {
    *it = nullptr;
  }
  level_->SyncActors();
  DestroyObject(actor);
}

void World::CompactLevel() {
  auto& slots = level_->slots;
  slots.erase(std::remove(slots.begin(), slots.end(), nullptr), slots.end());
  level_->SyncActors();
}

SimActor* World::LevelActor(std::uint64_t id) const {
  SimObject* object = FindById(id);
  if (object == nullptr || (object->kinds & kActor) == 0) {
    return nullptr;
  }
  auto* actor = static_cast<SimActor*>(object);
  const auto& slots = level_->slots;
  return std::find(slots.begin(), slots.end(), AsGame<AActor>(actor)) != slots.end() ? actor
                                                                                     : nullptr;
}

SimPlayerController* World::AddPlayer(const std::string& name, std::uint64_t steam_id,
                                      std::int32_t own_team) {
  auto* data = Make<SimPlayerData>();
  data->cls = object_class_;
  data->own_team_id = own_team;
  auto* state = Make<SimPlayerState>();
  state->cls = player_state_class_;
  state->my_player_data = data;
  state->targeting_team = own_team;
  auto* controller = Make<SimPlayerController>();
  controller->cls = controller_class_;
  controller->player_state = state;
  controller->steam_id = steam_id;
  controller->player_name = name;
  controller->targeting_team = own_team;
  controller->path = level_->path + u".ShooterPlayerController_C_" + Widen(name);
  state->owner_controller = controller;
  players_.push_back(controller);
  GiveCharacter(controller);
  return controller;
}

SimPlayerController* World::FindPlayer(const std::string& name) const {
  const auto it = std::find_if(players_.begin(), players_.end(), [&](const SimPlayerController* p) {
    return p->player_name == name;
  });
  return it == players_.end() ? nullptr : *it;
}

SimCharacter* World::GiveCharacter(SimPlayerController* player) {
  if (player->character == nullptr) {
    player->character = Make<SimCharacter>();
    player->character->cls = character_class_;
    player->character->targeting_team = player->targeting_team;
    player->character->owner_controller = player;
  }
  return player->character;
}

void World::TakeCharacter(SimPlayerController* player) {
  if (player->character != nullptr) {
    DestroyObject(player->character);
    player->character = nullptr;
  }
}

SimTribeData* World::TribeById(std::int32_t tribe_id) {
  auto& tribe = tribes_[tribe_id];
  if (tribe == nullptr) {
    tribe = Make<SimTribeData>();
    tribe->tribe_id = tribe_id;
  }
  return tribe;
}

SimRconConnection* World::MakeRconConnection() {
  auto* connection = Make<SimRconConnection>();
  connection->cls = object_class_;
  return connection;
}

}  // namespace standin
