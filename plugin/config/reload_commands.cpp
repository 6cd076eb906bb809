#include "config/reload_commands.h"

namespace cairnward {

void ReloadConfigConsole(APlayerController* /*player*/, FString* /*command*/, bool /*flag*/) {}

void ReloadConfigRcon(RCONClientConnection* /*connection*/, RCONPacket* /*packet*/,
                      UWorld* /*world*/) {}

}  // namespace cairnward
