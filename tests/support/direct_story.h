#pragma once

#include <cstdint>
#include <string>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "api/export.h"
#include "config/config.h"
#include "host/game.h"
#include "support/plugin_fixture.h"

// The plug-in's entry routine, linked into the test rather than loaded.
CAIRN_PLUGIN_EXPORT bool PluginEntry(int reason);

namespace cairnward::testing {

// A story whose test calls the plug-in's routines itself, linked from its
// static core rather than loaded. The configuration is read at the start and
// by Configure(); the counts are looked at without changing them.
// AttachPlugin() then loads it as the host does: hooks and commands
// registered, so that events and command lines reach it through the host.
class DirectStory : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    // A new server is a new host, as for a load: nothing resolved with the
    // previous one is used again.
    ForgetGameAddresses();
    Configure();
  }

  void ForgetPluginState() override { ClearAccounting(); }

  // The plug-in attached through its entry routine with the configuration in
  // force: a recount, its commands and its hooks. The log starts empty after it.
  void AttachPlugin() {
    ASSERT_TRUE(server().LoadLinkedPlugin(&PluginEntry));
    server().ClearLog();
  }

  // Writes Config() and reads it as a load or a reload would.
  void Configure() {
    WriteStoryConfig();
    ReadConfig();
  }

  static void Recount() { UpdateStructureCountAll(); }

  // A player places a structure, the game allowing it.
  standin::PlaceResult Place(standin::SimPlayerController* player, const std::string& object_path) {
    return server().Place(player, object_path);
  }

  static FString Path(const std::string& object_path) {
    return FString(BlueprintPath16(object_path));
  }

  static std::int32_t TeamTotal(std::int32_t team) {
    const auto it = TeamTotals().find(team);
    return it != TeamTotals().end() ? it->second : 0;
  }

  static bool Flagged(std::int32_t team) { return TeamLimitExceeded().Flagged(team); }

  static bool HasEntry(const std::u16string& path) {
    return StructureLedger().find(std::u16string_view(path)) != StructureLedger().end();
  }

  // The team's count of a blueprint, by object path; -1 when the blueprint
  // has no ledger entry.
  static std::int32_t CountOf(const std::string& object_path, std::int32_t team) {
    const TeamCounts* counts = FindLedgerEntry(BlueprintPath16(object_path));
    if (counts == nullptr) {
      return -1;
    }
    const auto it = counts->find(team);
    return it != counts->end() ? it->second : 0;
  }

  // RCON replies are ASCII; this makes them readable to the string matchers.
  static std::string Narrow(const std::u16string& text) { return {text.begin(), text.end()}; }

  std::vector<std::string> Warnings() const { return PluginLogLines(spdlog::level::warn); }
  std::vector<std::string> Errors() const { return PluginLogLines(spdlog::level::err); }
  std::vector<std::string> Infos() const { return PluginLogLines(spdlog::level::info); }
};

}  // namespace cairnward::testing
