#include "messages/commands.h"

namespace cairnward {

void ShowLimitsChat(AShooterPlayerController* /*player*/, FString* /*message*/, bool /*mode*/) {}

}  // namespace cairnward
