#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/game_members.h"
#include "standin/hook_registry.h"
#include "standin/strict.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using DestroyedFn = void (*)(APrimalStructure*);
DestroyedFn first_original = nullptr;
DestroyedFn second_original = nullptr;
std::vector<std::string> calls;

void FirstHook(APrimalStructure* s) {
  calls.emplace_back("first");
  first_original(s);
}

void SecondHook(APrimalStructure* s) {
  calls.emplace_back("second");
  second_original(s);
}

class HookChain : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    calls.clear();
    wall_ = AsGame<APrimalStructure>(
        world().SpawnActor(world().BlueprintClass("/Game/Structures/Wall.Wall"), 1001));
  }
  void CallDestroyed() {
    server().Hooks().Entry(game::kDestroyed)(wall_);
    calls.insert(calls.end(), world().original_calls.begin(), world().original_calls.end());
    world().original_calls.clear();
  }
  APrimalStructure* wall_ = nullptr;
};

TEST_F(HookChain, CallsEnterTheNewestReplacementAndPassOnDownToTheGame) {
  auto& hooks = server().Hooks();
  hooks.SetHook(game::kDestroyed.name, &FirstHook, &first_original);
  hooks.SetHook(game::kDestroyed.name, &SecondHook, &second_original);
  CallDestroyed();
  EXPECT_THAT(calls, ::testing::ElementsAre("second", "first", "APrimalStructure.Destroyed"));
}

TEST_F(HookChain, RemovingAReplacementRelinksTheOthers) {
  auto& hooks = server().Hooks();
  hooks.SetHook(game::kDestroyed.name, &FirstHook, &first_original);
  hooks.SetHook(game::kDestroyed.name, &SecondHook, &second_original);
  EXPECT_TRUE(hooks.DisableHook(game::kDestroyed.name, &FirstHook));
  CallDestroyed();
  EXPECT_THAT(calls, ::testing::ElementsAre("second", "APrimalStructure.Destroyed"));
  EXPECT_TRUE(hooks.DisableHook(game::kDestroyed.name, &SecondHook));
  EXPECT_FALSE(hooks.DisableHook(game::kDestroyed.name, &SecondHook));
  EXPECT_EQ(hooks.Count(), 0U);
}

TEST_F(HookChain, UnknownGameFunctionAndDoubleInstallationAreViolations) {
  auto& hooks = server().Hooks();
  EXPECT_THROW(hooks.SetHook("APrimalStructure.Explode", &FirstHook, &first_original),
               standin::HostViolation);
  hooks.SetHook(game::kDestroyed.name, &FirstHook, &first_original);
  EXPECT_THROW(hooks.SetHook(game::kDestroyed.name, &FirstHook, &first_original),
               standin::HostViolation);
  EXPECT_EQ(TakeViolations().size(), 2U);
  hooks.DisableHook(game::kDestroyed.name, &FirstHook);
}

}  // namespace
}  // namespace cairnward::testing
