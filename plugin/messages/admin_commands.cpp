#include "messages/commands.h"

namespace cairnward {

void UpdateStructuresConsole(APlayerController* /*player*/, FString* /*command*/, bool /*flag*/) {}

void UpdateStructuresRcon(RCONClientConnection* /*connection*/, RCONPacket* /*packet*/,
                          UWorld* /*world*/) {}

void GetBpConsole(APlayerController* /*player*/, FString* /*command*/, bool /*flag*/) {}

}  // namespace cairnward
