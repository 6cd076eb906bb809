#include "standin/game_functions.h"

#include "api/fmemory.h"
#include "api/game_members.h"
#include "standin/game_actions.h"
#include "standin/memory.h"
#include "standin/registry.h"
#include "standin/server.h"
#include "standin/strict.h"

namespace standin {
namespace {

World& TheWorld() {
  return Server::Current().GetWorld();
}

bool IsA(UObjectBaseUtility* object, UClass* cls) {
  const SimObject* o = Checked(object, kObject, "UObjectBaseUtility.IsA");
  const auto* target = CheckedAs<SimClass>(cls, kClass, "UObjectBaseUtility.IsA (class)");
  for (const SimClass* c = o->cls; c != nullptr; c = c->super) {
    if (c == target) {
      return true;
    }
  }
  return false;
}

UObject* GetDefaultObject(UClass* cls, bool /*create_if_needed*/) {
  return AsGame<UObject>(
      CheckedAs<SimClass>(cls, kClass, "UClass.GetDefaultObject")->default_object);
}

FString* GetFullName(UObjectBaseUtility* object, FString* result, UObject* /*stop_outer*/) {
  const SimObject* o = Checked(object, kObject, "UObjectBaseUtility.GetFullName");
  if (result == nullptr) {
    Violation("UObjectBaseUtility.GetFullName: null result string");
  }
  if (!o->full_name_override.empty()) {
    *result = FString(o->full_name_override);
  } else {
    const std::u16string class_name = o->cls != nullptr ? o->cls->class_name : u"None";
    *result = FString(class_name + u" " + o->path);
  }
  return result;
}

UClass* StructureStaticClass() {
  return AsGame<UClass>(TheWorld().StructureClass());
}

AController* GetOwnerController(AActor* actor) {
  return AsGame<AController>(
      CheckedAs<SimActor>(actor, kActor, "AActor.GetOwnerController")->owner_controller);
}

bool IsInTribe(AShooterPlayerState* state) {
  return CheckedAs<SimPlayerState>(state, kPlayerState, "AShooterPlayerState.IsInTribe")->in_tribe;
}

std::int32_t GetTribeTeamID(UPrimalPlayerData* data) {
  return CheckedAs<SimPlayerData>(data, kPlayerData, "UPrimalPlayerData.GetTribeTeamID")
      ->own_team_id;
}

APrimalCharacter* GetPlayerCharacter(AShooterPlayerController* player) {
  return AsGame<APrimalCharacter>(
      CheckedAs<SimPlayerController>(player, kPlayerController,
                                     "AShooterPlayerController.GetPlayerCharacter")
          ->character);
}

AActor* GetAimedActor(APrimalCharacter* character, int /*channel*/, AActor* /*ignore*/,
                      float /*range*/, float /*radius*/, AActor** /*hit*/, bool* /*hit_flag*/,
                      bool /*a*/, bool /*b*/, bool /*c*/) {
  return AsGame<AActor>(
      CheckedAs<SimCharacter>(character, kCharacter, "APrimalCharacter.GetAimedActor")
          ->aimed_actor);
}

std::string PlayerName(AShooterPlayerController* player, const char* who) {
  return CheckedAs<SimPlayerController>(player, kPlayerController, who)->player_name;
}

void ClientNotification(AShooterPlayerController* player, FString* text, FLinearColor color,
                        float scale, float time, UObject* /*icon*/, UObject* /*sound*/) {
  const char* who = "AShooterPlayerController.ClientServerSOTFNotificationCustom";
  Delivery d;
  d.form = Delivery::Form::kNotification;
  d.player = PlayerName(player, who);
  d.text = text != nullptr ? std::u16string(text->View()) : u"";
  d.color = color;
  d.scale = scale;
  d.time = time;
  Server::Current().Deliver(std::move(d));
}

void ClientChatMessage(AShooterPlayerController* player, FChatMessage message) {
  Delivery d;
  d.form = Delivery::Form::kChat;
  d.player = PlayerName(player, "AShooterPlayerController.ClientChatMessage");
  d.text = std::u16string(message.Message.View());
  d.sender = std::u16string(message.SenderName.View());
  Server::Current().Deliver(std::move(d));
}

void ClientServerMessage(AShooterPlayerController* player, FString* text, FLinearColor color,
                         bool /*is_bold*/) {
  Delivery d;
  d.form = Delivery::Form::kServerMessage;
  d.player = PlayerName(player, "AShooterPlayerController.ClientServerChatDirectMessage");
  d.text = text != nullptr ? std::u16string(text->View()) : u"";
  d.color = color;
  Server::Current().Deliver(std::move(d));
}

void RconSendMessage(RCONClientConnection* connection, int id, int type, FString* text) {
  auto* client = CheckedAs<SimRconConnection>(connection, kRconConnection,
                                              "RCONClientConnection.SendMessageW");
  Server::Current().SendRcon(*client,
                             {id, type, text != nullptr ? std::u16string(text->View()) : u""});
}

// The game's own hooked functions.
void InitGame(AShooterGameMode* mode, FString* /*map*/, FString* /*options*/, FString* /*error*/) {
  Checked(mode, kGameMode, "AShooterGameMode.InitGame");
  TheWorld().original_calls.emplace_back(game::kInitGame.name);
}

int IsAllowedToBuild(APrimalStructure* structure, APlayerController* pc, FVector /*at*/,
                     FRotator /*rotation*/, FPlacementData* /*out*/, bool /*no_range*/,
                     FRotator /*view*/, bool final_placement, void* /*a*/, void* /*b*/) {
  const char* who = "APrimalStructure.IsAllowedToBuild";
  SimObject* checked = Checked(structure, kStructure, who);
  SimObject* controller = pc != nullptr ? Checked(pc, kPlayerController, who) : nullptr;
  World& world = TheWorld();
  world.original_calls.emplace_back(game::kIsAllowedToBuild.name);
  world.build_checks.push_back({checked, controller, final_placement});
  return world.build_verdict;
}

void Destroyed(APrimalStructure* structure) {
  Checked(structure, kStructure, "APrimalStructure.Destroyed");
  TheWorld().original_calls.emplace_back(game::kDestroyed.name);
}

bool Die(APrimalStructure* structure, float /*damage*/, FDamageEvent* /*event*/,
         AController* /*killer*/, AActor* /*causer*/) {
  Checked(structure, kStructure, "APrimalStructure.Die");
  TheWorld().original_calls.emplace_back(game::kDie.name);
  return true;
}

bool Demolish(APrimalStructure* structure, APlayerController* /*by*/, AActor* /*tool*/) {
  Checked(structure, kStructure, "APrimalStructure.Demolish");
  TheWorld().original_calls.emplace_back(game::kDemolish.name);
  return true;
}

bool AddToTribe(AShooterPlayerState* state, FTribeData* tribe, bool merge, bool force, bool invite,
                APlayerController* inviter) {
  const char* who = "AShooterPlayerState.AddToTribe";
  auto* joiner = CheckedAs<SimPlayerState>(state, kPlayerState, who);
  auto* target = tribe != nullptr ? CheckedAs<SimTribeData>(tribe, kTribeData, who) : nullptr;
  SimObject* inviting = inviter != nullptr ? Checked(inviter, kPlayerController, who) : nullptr;
  World& world = TheWorld();
  world.original_calls.emplace_back(game::kAddToTribe.name);
  world.tribe_joins.push_back({joiner, target, merge, force, invite, inviting});
  if (world.refuse_tribe_joins > 0) {
    --world.refuse_tribe_joins;
    return false;
  }
  return CarryOutTribeJoin(world, joiner, target, merge, invite);
}

template <typename SimType, typename Member>
void* FieldAddress(const void* object, std::uint32_t kind, const char* name,
                   Member SimType::*member) {
  return &(CheckedAs<SimType>(object, kind, name)->*member);
}

void RegisterFields() {
  RegisterField(game::kClass, [](const void* o) {
    return FieldAddress(o, kObject, game::kClass.name, &SimObject::cls);
  });
  RegisterField(game::kTargetingTeam, [](const void* o) {
    return FieldAddress(o, kActor, game::kTargetingTeam.name, &SimActor::targeting_team);
  });
  RegisterField(game::kPlayerState, [](const void* o) {
    return FieldAddress(o, kController, game::kPlayerState.name, &SimController::player_state);
  });
  RegisterField(game::kMyPlayerData, [](const void* o) {
    return FieldAddress(o, kPlayerState, game::kMyPlayerData.name, &SimPlayerState::my_player_data);
  });
  RegisterField(game::kCurrentTribeDataPtr, [](const void* o) {
    return FieldAddress(o, kPlayerState, game::kCurrentTribeDataPtr.name,
                        &SimPlayerState::current_tribe_data);
  });
  RegisterField(game::kTribeID, [](const void* o) {
    return FieldAddress(o, kTribeData, game::kTribeID.name, &SimTribeData::tribe_id);
  });
  RegisterField(game::kPersistentLevel, [](const void* o) {
    return FieldAddress(o, kWorld, game::kPersistentLevel.name, &SimWorld::persistent_level);
  });
  RegisterField(game::kActors, [](const void* o) {
    return FieldAddress(o, kLevel, game::kActors.name, &SimLevel::actors);
  });
}

}  // namespace

void RegisterGameFunctions() {
  RegisterMemoryFunctions();
  RegisterFunction(game::kIsA, &IsA);
  RegisterFunction(game::kGetDefaultObject, &GetDefaultObject);
  RegisterFunction(game::kGetFullName, &GetFullName);
  RegisterFunction(game::kStructureStaticClass, &StructureStaticClass);
  RegisterFunction(game::kGetOwnerController, &GetOwnerController);
  RegisterFunction(game::kIsInTribe, &IsInTribe);
  RegisterFunction(game::kGetTribeTeamID, &GetTribeTeamID);
  RegisterFunction(game::kGetPlayerCharacter, &GetPlayerCharacter);
  RegisterFunction(game::kGetAimedActor, &GetAimedActor);
  RegisterFunction(game::kClientNotification, &ClientNotification);
  RegisterFunction(game::kClientChatMessage, &ClientChatMessage);
  RegisterFunction(game::kClientServerMessage, &ClientServerMessage);
  RegisterFunction(game::kRconSendMessage, &RconSendMessage);
  RegisterFunction(game::kInitGame, &InitGame);
  RegisterFunction(game::kIsAllowedToBuild, &IsAllowedToBuild);
  RegisterFunction(game::kDestroyed, &Destroyed);
  RegisterFunction(game::kDie, &Die);
  RegisterFunction(game::kDemolish, &Demolish);
  RegisterFunction(game::kAddToTribe, &AddToTribe);
  RegisterFields();
}

}  // namespace standin
