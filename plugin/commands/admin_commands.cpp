#include <string_view>

#include "api/ark_api.h"
#include "api/game_members.h"
#include "commands/command_guard.h"
#include "commands/commands.h"
#include "counts/counts.h"
#include "host/blueprint_path.h"
#include "host/game.h"
#include "host/logger.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

// What the game's aiming trace hits for the player, or null.
AActor* AimedActor(APlayerController* player) {
  APrimalCharacter* character = CallGame<game::kGetPlayerCharacter>(AsShooter(player));
  return CallGame<game::kGetAimedActor>(character, 6, nullptr, 0.0F, 0.0F, nullptr, nullptr, false,
                                        false, false);
}

bool IsStructure(AActor* actor) {
  return actor != nullptr && CallGame<game::kIsA>(actor, CallGame<game::kStructureStaticClass>());
}

}  // namespace

void UpdateStructuresConsole(APlayerController* player, FString* /*command*/, bool /*flag*/) {
  GuardConsoleCommand([&] {
    if (!ArkApi::GetApiUtils().IsPlayerDead(AsShooter(player))) {
      Recount();
    }
  });
}

void UpdateStructuresRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  GuardRconCommand(connection, packet, [&] {
    Recount();
    ReplyRcon(connection, packet, "Updated All Structures");
  });
}

void GetBpConsole(APlayerController* player, FString* /*command*/, bool /*flag*/) {
  GuardConsoleCommand([&] {
    // Also keeps out a player without a character, whose aim is not asked.
    if (ArkApi::GetApiUtils().IsPlayerDead(AsShooter(player))) {
      return;
    }
    AActor* aimed = AimedActor(player);
    if (!IsStructure(aimed)) {
      return;
    }
    const FString path = BlueprintPathOf(aimed);
    // The path goes out as it is: a brace in it is no template.
    PushChatMessageText(AsShooter(player), LookupMessage("Sender"), path.View());
    Log().info("{}", ToUtf8(path.View()));
  });
}

}  // namespace cairnward
