#pragma once

#include <cstdint>

#include "api/chat_message.h"
#include "api/fstring.h"
#include "api/game_access.h"
#include "api/game_types.h"
#include "api/math_types.h"
#include "api/tarray.h"

// Every game function and field that plug-ins of this host use, by name and
// with its exact type (see game_access.h).
namespace game {

// Objects and classes.
inline constexpr GameFunction<bool(UObjectBaseUtility*, UClass*)> kIsA{"UObjectBaseUtility.IsA"};
inline constexpr GameFunction<UObject*(UClass*, bool)> kGetDefaultObject{"UClass.GetDefaultObject"};
inline constexpr GameFunction<FString*(UObjectBaseUtility*, FString*, UObject*)> kGetFullName{
    "UObjectBaseUtility.GetFullName"};
inline constexpr GameFunction<UClass*()> kStructureStaticClass{
    "APrimalStructure.GetPrivateStaticClass"};

// Actors, players and tribes.
inline constexpr GameFunction<AController*(AActor*)> kGetOwnerController{
    "AActor.GetOwnerController"};
inline constexpr GameFunction<bool(AShooterPlayerState*)> kIsInTribe{
    "AShooterPlayerState.IsInTribe"};
inline constexpr GameFunction<std::int32_t(UPrimalPlayerData*)> kGetTribeTeamID{
    "UPrimalPlayerData.GetTribeTeamID"};
inline constexpr GameFunction<APrimalCharacter*(AShooterPlayerController*)> kGetPlayerCharacter{
    "AShooterPlayerController.GetPlayerCharacter"};
inline constexpr GameFunction<AActor*(APrimalCharacter*, int, AActor*, float, float, AActor**,
                                      bool*, bool, bool, bool)>
    kGetAimedActor{"APrimalCharacter.GetAimedActor"};

// Reaching players.
inline constexpr GameFunction<void(AShooterPlayerController*, FString*, FLinearColor, float, float,
                                   UObject*, UObject*)>
    kClientNotification{"AShooterPlayerController.ClientServerSOTFNotificationCustom"};
inline constexpr GameFunction<void(AShooterPlayerController*, FChatMessage)> kClientChatMessage{
    "AShooterPlayerController.ClientChatMessage"};
inline constexpr GameFunction<void(AShooterPlayerController*, FString*, FLinearColor, bool)>
    kClientServerMessage{"AShooterPlayerController.ClientServerChatDirectMessage"};
inline constexpr GameFunction<void(RCONClientConnection*, int, int, FString*)> kRconSendMessage{
    "RCONClientConnection.SendMessageW"};

// Game functions that plug-ins replace (hooks). The object comes first.
inline constexpr GameFunction<void(AShooterGameMode*, FString*, FString*, FString*)> kInitGame{
    "AShooterGameMode.InitGame"};
inline constexpr GameFunction<int(APrimalStructure*, APlayerController*, FVector, FRotator,
                                  FPlacementData*, bool, FRotator, bool, void*, void*)>
    kIsAllowedToBuild{"APrimalStructure.IsAllowedToBuild"};
inline constexpr GameFunction<void(APrimalStructure*)> kDestroyed{"APrimalStructure.Destroyed"};
inline constexpr GameFunction<bool(APrimalStructure*, float, FDamageEvent*, AController*, AActor*)>
    kDie{"APrimalStructure.Die"};
inline constexpr GameFunction<bool(APrimalStructure*, APlayerController*, AActor*)> kDemolish{
    "APrimalStructure.Demolish"};
inline constexpr GameFunction<bool(AShooterPlayerState*, FTribeData*, bool, bool, bool,
                                   APlayerController*)>
    kAddToTribe{"AShooterPlayerState.AddToTribe"};

// Fields.
inline constexpr GameField<UClass*> kClass{"UObjectBase.Class"};
inline constexpr GameField<std::int32_t> kTargetingTeam{"AActor.TargetingTeam"};
inline constexpr GameField<APlayerState*> kPlayerState{"AController.PlayerState"};
inline constexpr GameField<UPrimalPlayerData*> kMyPlayerData{"AShooterPlayerState.MyPlayerData"};
inline constexpr GameField<FTribeData*> kCurrentTribeDataPtr{
    "AShooterPlayerState.CurrentTribeDataPtr"};
inline constexpr GameField<std::int32_t> kTribeID{"FTribeData.TribeID"};
inline constexpr GameField<ULevel*> kPersistentLevel{"UWorld.PersistentLevel"};
inline constexpr GameField<TArray<AActor*>> kActors{"ULevelBase.Actors"};

}  // namespace game
