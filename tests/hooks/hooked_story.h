#pragma once

#include "accounting/direct_story.h"
#include "hooks/hooks.h"
#include "lifecycle/logger.h"
#include "standin/game_actions.h"

namespace cairnward::testing {

// A story in which the game's events reach the plug-in's hooks: counted at
// the start, hooks installed as a load installs them.
class HookedStory : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    CreatePluginLogger();
    Recount();
    InstallHooks();
  }

  void TearDown() override {
    RemoveHooks();
    DirectStory::TearDown();
  }

  standin::PlaceResult Place(standin::SimPlayerController* player, const std::string& object_path) {
    return standin::Place(server(), player, object_path);
  }
};

}  // namespace cairnward::testing
