#pragma once

// The game's object types as a plug-in sees them: names only. Their storage
// belongs to the game; a plug-in reaches their members by name (game_members.h).
// Base classes mirror the game's hierarchy so that pointers convert as they do there.
struct UObjectBase {};
struct UObjectBaseUtility : UObjectBase {};
struct UObject : UObjectBaseUtility {};
struct UField : UObject {};
struct UStruct : UField {};
struct UClass : UStruct {};
struct UWorld : UObject {};
struct ULevelBase : UObject {};
struct ULevel : ULevelBase {};
struct UPrimalPlayerData : UObject {};
struct AActor : UObject {};
struct AController : AActor {};
struct APlayerController : AController {};
struct AShooterPlayerController : APlayerController {};
struct APlayerState : AActor {};
struct AShooterPlayerState : APlayerState {};
struct APawn : AActor {};
struct ACharacter : APawn {};
struct APrimalCharacter : ACharacter {};
struct APrimalStructure : AActor {};
struct AGameModeBase : AActor {};
struct AShooterGameMode : AGameModeBase {};
struct RCONClientConnection : UObject {};

// Plain records of the game.
struct FTribeData {};
struct FPlacementData {};
struct FDamageEvent {};

namespace EChatSendMode {
enum Type : int { GlobalChat = 0, GlobalTribeChat = 1, LocalChat = 2, AllianceChat = 3 };
}  // namespace EChatSendMode
