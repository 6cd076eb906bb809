#include <algorithm>

#include "api/game_members.h"
#include "standin/strict.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class LoadUnload : public PluginTest {};

TEST_F(LoadUnload, LoadRegistersFourteenCommandsAndSixHooksInOrder) {
  ASSERT_TRUE(LoadPlugin());
  auto& commands = server().Commands();
  EXPECT_THAT(commands.ChatNames(), ElementsAre(u"/limits"));
  EXPECT_THAT(commands.RconNames(),
              ElementsAre(u"cairnward.reload", u"UpdateStructures", u"cairnward.limits",
                          u"cairnward.status", u"cairnward.over", u"cairnward.cluster"));
  EXPECT_THAT(commands.ConsoleNames(),
              ElementsAre(u"cairnward.reload", u"UpdateStructures", u"GetBp", u"cairnward.limits",
                          u"cairnward.status", u"cairnward.over", u"cairnward.cluster"));
  EXPECT_THAT(server().Hooks().HookedNames(),
              UnorderedElementsAre("AShooterGameMode.InitGame", "APrimalStructure.IsAllowedToBuild",
                                   "AShooterPlayerState.AddToTribe", "APrimalStructure.Destroyed",
                                   "APrimalStructure.Die", "APrimalStructure.Demolish"));
}

TEST_F(LoadUnload, UnloadLeavesNoCommandAndNoHook) {
  ASSERT_TRUE(LoadPlugin());
  UnloadPlugin();
  EXPECT_EQ(server().Commands().Count(), 0U);
  EXPECT_EQ(server().Hooks().Count(), 0U);
  EXPECT_THAT(LogLines(spdlog::level::info),
              ElementsAre("Loaded plugin Cairnward", "Unloaded plugin Cairnward"));
}

TEST_F(LoadUnload, MissingConfigFailsTheLoadWithTheReasonAndThePathAndNothingRegistered) {
  RemoveConfig();
  EXPECT_FALSE(LoadPlugin());
  EXPECT_FALSE(server().PluginLoaded());
  EXPECT_THAT(PluginLogLines(spdlog::level::err),
              ElementsAre("Can't open config.json",
                          ::testing::HasSubstr("/AtlasApi/Plugins/Cairnward/config.json"),
                          "Can't open config.json"));
  EXPECT_EQ(server().Commands().Count(), 0U);
  EXPECT_EQ(server().Hooks().Count(), 0U);
}

TEST_F(LoadUnload, ChatCommandWithoutShowLimitsCmdIsNamedNoMessage) {
  Json config = BaselineConfig();
  config["Messages"].erase("ShowLimitsCmd");
  WriteConfig(config);
  ASSERT_TRUE(LoadPlugin());
  EXPECT_THAT(server().Commands().ChatNames(), ElementsAre(u"No message"));
}

TEST_F(LoadUnload, AShowLimitsCmdWithABlankIsRegisteredWithAWarning) {
  for (const char* name : {"/my limits", " /limits", "/limits\t", "/limits"}) {
    SCOPED_TRACE(name);
    Json config = BaselineConfig();
    config["Messages"]["ShowLimitsCmd"] = name;
    WriteConfig(config);
    server().ClearLog();
    ASSERT_TRUE(LoadPlugin());
    EXPECT_EQ(server().Commands().ChatNames().size(), 1U);
    const auto warnings = PluginLogLines(spdlog::level::warn);
    if (std::string_view(name) == "/limits") {
      EXPECT_THAT(warnings, IsEmpty());
    } else {
      EXPECT_THAT(warnings, ElementsAre("\"Messages\" -> \"ShowLimitsCmd\" \"" + std::string(name) +
                                        "\" holds a blank: no player can type it"));
    }
    UnloadPlugin();
  }
}

TEST_F(LoadUnload, AnEmptyShowLimitsCmdLoadsEverythingButTheChatCommandAndSaysSo) {
  Json config = BaselineConfig();
  config["Messages"]["ShowLimitsCmd"] = "";
  WriteConfig(config);
  ASSERT_TRUE(LoadPlugin());
  EXPECT_THAT(server().Commands().ChatNames(), IsEmpty());
  EXPECT_EQ(server().Commands().Count(), 13U);
  EXPECT_EQ(server().Hooks().Count(), 6U);
  EXPECT_THAT(
      PluginLogLines(spdlog::level::err),
      ElementsAre("\"Messages\" -> \"ShowLimitsCmd\" is empty: no show-limits chat command"));
  UnloadPlugin();
  EXPECT_EQ(server().Commands().Count(), 0U);
}

TEST_F(LoadUnload, MessagesThatIsNotAnObjectFailsTheLoadWithAReason) {
  Json config = BaselineConfig();
  config["Messages"] = Json::array();
  WriteConfig(config);
  EXPECT_FALSE(LoadPlugin());
  EXPECT_EQ(server().Commands().Count(), 0U);
  EXPECT_EQ(server().Hooks().Count(), 0U);
  const auto errors = PluginLogLines(spdlog::level::err);
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_NE(errors[0].find("cannot use value() with array"), std::string::npos) << errors[0];
}

TEST_F(LoadUnload, TheChatCommandKeepsItsLoadTimeNameAcrossAConfigChange) {
  ASSERT_TRUE(LoadPlugin());
  Json config = BaselineConfig();
  config["Messages"]["ShowLimitsCmd"] = "/renamed";
  WriteConfig(config);
  ASSERT_TRUE(server().Console(world().AddPlayer("Admin", 1, 0), u"cairnward.reload"));
  EXPECT_THAT(server().Commands().ChatNames(), ElementsAre(u"/limits"));
  UnloadPlugin();
  EXPECT_THAT(server().Commands().ChatNames(), IsEmpty());
}

TEST_F(LoadUnload, PluginUnloadExportChangesNothingAndReloadStartsFresh) {
  ASSERT_TRUE(LoadPlugin());
  UnloadPlugin();
  ASSERT_TRUE(LoadPlugin());
  EXPECT_EQ(server().Commands().Count(), 14U);
  EXPECT_EQ(server().Hooks().Count(), 6U);
}

TEST_F(LoadUnload, HookedGameFunctionsRunThroughThePlugin) {
  ASSERT_TRUE(LoadPlugin());
  auto* wall = world().SpawnActor(world().BlueprintClass("/Game/Structures/Wall.Wall"), 1001);
  auto* entry = server().Hooks().Entry(game::kDestroyed);
  EXPECT_NE(reinterpret_cast<void*>(entry), GetAddress(game::kDestroyed.name));
  entry(AsGame<APrimalStructure>(wall));
  EXPECT_THAT(world().original_calls, ElementsAre("APrimalStructure.Destroyed"));
}

}  // namespace
}  // namespace cairnward::testing
