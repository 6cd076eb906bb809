#pragma once

#include <cstdint>
#include <string>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "config/config.h"
#include "host/game.h"
#include "support/world_story.h"

namespace cairnward::testing {

// A story whose test calls the plug-in's routines itself, linked from its
// static core rather than loaded. The configuration is read at the start and
// by Configure(); the counts are looked at without changing them.
class DirectStory : public WorldStory {
 protected:
  void SetUp() override {
    WorldStory::SetUp();
    // A new server is a new host, as for a load: nothing resolved with the
    // previous one is used again.
    ForgetGameAddresses();
    Configure();
  }

  void ForgetPluginState() override { ClearAccounting(); }

  // Writes Config() and reads it as a load or a reload would.
  void Configure() {
    WriteStoryConfig();
    ReadConfig();
  }

  static void Recount() { UpdateStructureCountAll(); }

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
};

}  // namespace cairnward::testing
