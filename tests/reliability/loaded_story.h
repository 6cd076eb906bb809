#pragma once

#include <string>

#include "standin/game_actions.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {

// The plug-in loaded from its library and reached only as the host and the
// game reach it: console and RCON lines, game events. Alice owns two walls of
// the three that BaselineConfig() allows.
class LoadedStory : public PluginTest {
 protected:
  void SetUp() override;

  // "cairnward.reload" from the administrator's console; what he was told.
  std::u16string ConsoleReload();
  // The same over RCON; the reply.
  std::u16string RconReload();
  // "UpdateStructures" over RCON.
  void RconRecount();

  // Whether the limits read at the start still hold: Alice's third wall
  // stands and her fourth is refused with the starting configuration's text.
  void ExpectStartingLimitsHold();

  // Counts the plug-in keeps, as show-limits tells them to Alice.
  std::u16string LimitsShownToAlice();

  standin::SimPlayerController* admin_ = nullptr;
  standin::SimPlayerController* alice_ = nullptr;
};

}  // namespace cairnward::testing
