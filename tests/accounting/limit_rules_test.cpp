#include <string>
#include <vector>

#include "accounting/direct_story.h"
#include "accounting/limit_rules.h"
#include "host/text.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kOpeningRule(41, '_');
const std::string kClosingRule = "|" + std::string(40, '_');

class LimitRules : public DirectStory {
 protected:
  // `count` structures of the blueprint for the team, counted by a recount.
  void Owns(const std::string& object_path, std::int32_t team, int count) {
    Spawn(object_path, team, count);
    Recount();
  }
  bool Allowed(const std::string& object_path, std::int32_t team, std::uint64_t steam = 0) {
    return StructureAllowed(Path(object_path), team, steam);
  }
  void Change(const std::string& object_path, std::int32_t team, std::int32_t change) {
    UpdateStructureCount(Path(object_path), team, change);
  }
};

// ---- StructureAllowed ---------------------------------------------------------

TEST_F(LimitRules, TheTotalIsRefusedFromMaxAmountOn) {
  MaxAmount(10);
  Configure();
  Owns(kCeiling, 1001, 9);
  EXPECT_TRUE(Allowed(kCeiling, 1001));
  Owns(kCeiling, 1001, 1);
  EXPECT_FALSE(Allowed(kCeiling, 1001));
  EXPECT_FALSE(Allowed(kWall, 1001));
}

TEST_F(LimitRules, ABlueprintIsRefusedFromItsCountOn) {
  Owns(kWall, 1001, 2);
  EXPECT_TRUE(Allowed(kWall, 1001));
  Owns(kWall, 1001, 1);
  EXPECT_FALSE(Allowed(kWall, 1001));
  EXPECT_TRUE(Allowed(kFoundation, 1001));
  EXPECT_TRUE(Allowed(kCeiling, 1001));
}

TEST_F(LimitRules, CountZeroIsNeverPlaced) {
  Limit(kWall, 0);
  Configure();
  Recount();
  EXPECT_FALSE(Allowed(kWall, 1001));
  EXPECT_FALSE(Allowed(kWall, 5));
  EXPECT_TRUE(Allowed(kFoundation, 1001));
}

TEST_F(LimitRules, WithoutMaxAmountOnlyExemptAdminsPlace) {
  Config()["General"].erase("MaxAmount");
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  Recount();
  AddPlayer("Admin", 76561198000000001, 1001, /*admin=*/true);
  EXPECT_FALSE(Allowed(kCeiling, 1001));
  EXPECT_FALSE(Allowed(kFoundation, 1002, 76561198000000002));
  EXPECT_TRUE(Allowed(kCeiling, 1001, 76561198000000001));
}

TEST_F(LimitRules, AFlaggedTeamIsRefusedEverything) {
  Limit(kWall, 1);
  Configure();
  Owns(kWall, 1001, 2);
  ASSERT_TRUE(Flagged(1001));
  EXPECT_FALSE(Allowed(kFoundation, 1001));
  EXPECT_FALSE(Allowed(kCeiling, 1001));
  EXPECT_TRUE(Allowed(kCeiling, 1002));
}

TEST_F(LimitRules, AdminsAreExemptOnlyWithTheSwitchAndAPositiveSteamId) {
  constexpr std::uint64_t kAdmin = 76561198000000001;
  constexpr std::uint64_t kNegativeAdmin = 0x8000000000000001;
  AddPlayer("Admin", kAdmin, 1001, /*admin=*/true);
  AddPlayer("Odd", kNegativeAdmin, 1001, /*admin=*/true);
  AddPlayer("Zero", 0, 1001, /*admin=*/true);
  AddPlayer("Player", 76561198000000009, 1001);
  MaxAmount(1);
  Limit(kWall, 1);
  Configure();
  Owns(kWall, 1001, 2);  // flagged, over both limits

  EXPECT_FALSE(Allowed(kWall, 1001, kAdmin)) << "switch off";
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  EXPECT_TRUE(Allowed(kWall, 1001, kAdmin));
  EXPECT_FALSE(Allowed(kWall, 1001, 0));
  EXPECT_FALSE(Allowed(kWall, 1001, kNegativeAdmin));
  EXPECT_FALSE(Allowed(kWall, 1001, 76561198000000009));
}

TEST_F(LimitRules, TheSwitchIsTheOneOfTheLastRead) {
  AddPlayer("Admin", 7, 1001, /*admin=*/true);
  Config()["General"]["IgnoreAdmin"] = true;
  Config()["General"]["MaxAmount"] = 0;
  Configure();
  // Changed in the file, not read yet.
  Config()["General"]["IgnoreAdmin"] = false;
  WriteStoryConfig();
  EXPECT_TRUE(Allowed(kWall, 1001, 7));
}

TEST_F(LimitRules, ALedgerMatchInOtherCaseIsLimitedOnlyBy9999) {
  Limit(kWall, 1);
  Configure();
  const std::string other_case = "/game/structures/wall.wall";
  Owns(other_case, 1001, 5);
  EXPECT_EQ(CountOf(kWall, 1001), 5);
  EXPECT_TRUE(Allowed(other_case, 1001));
  EXPECT_FALSE(Allowed(kWall, 1001));
}

TEST_F(LimitRules, UncountedTeamsAreRefusedOnlyByLimitsOfZeroOrLess) {
  Spawn(kWall, 1000, 5);
  Recount();
  EXPECT_TRUE(Allowed(kWall, 1000));
  EXPECT_TRUE(Allowed(kWall, 0));
  MaxAmount(0);
  Configure();
  EXPECT_FALSE(Allowed(kCeiling, 1000));
}

TEST_F(LimitRules, OnlyTheBlueprintRuleWritesTrace) {
  Debug(true);
  MaxAmount(1);
  Configure();
  Owns(kWall, 1001, 1);
  EXPECT_THAT(TraceOf([&] { Allowed(kWall, 1002); }),
              ElementsAre("StructureAllowed: team_id: 1002",
                          "StructureAllowed: path_name: Blueprint'/Game/Structures/Wall.Wall'",
                          "StructureAllowed: count: 0"));
  EXPECT_THAT(TraceOf([&] { Allowed(kCeiling, 1002); }), IsEmpty());
  EXPECT_THAT(TraceOf([&] { Allowed(kWall, 1001); }), IsEmpty());
}

// ---- UpdateStructureCount: the counts and the flag ---------------------------------

TEST_F(LimitRules, CrossingABlueprintsCountSetsTheFlagAndComingBackClearsIt) {
  Owns(kWall, 1001, 3);
  Change(kWall, 1001, +1);
  EXPECT_EQ(CountOf(kWall, 1001), 4);
  EXPECT_EQ(TeamTotal(1001), 4);
  EXPECT_TRUE(Flagged(1001));
  Change(kWall, 1001, -1);
  EXPECT_EQ(CountOf(kWall, 1001), 3);
  EXPECT_EQ(TeamTotal(1001), 3);
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(LimitRules, ARemovalStillAboveTheCountKeepsTheFlag) {
  Owns(kWall, 1001, 6);
  ASSERT_TRUE(Flagged(1001));
  Change(kWall, 1001, -2);
  EXPECT_EQ(CountOf(kWall, 1001), 4);
  EXPECT_TRUE(Flagged(1001));
}

TEST_F(LimitRules, AnAdditionWithinTheCountLeavesTheFlagAsItWas) {
  MaxAmount(2);
  Configure();
  Owns(kCeiling, 1001, 2);
  Change(kCeiling, 1001, +1);  // total 3 > 2: flagged
  ASSERT_TRUE(Flagged(1001));
  Change(kWall, 1001, +1);
  EXPECT_TRUE(Flagged(1001));
  EXPECT_EQ(TeamTotal(1001), 4);
  // A configured blueprint is compared with its own count only: a removal
  // back within it lifts the flag, whatever the total.
  Change(kWall, 1001, -1);
  EXPECT_FALSE(Flagged(1001));
  EXPECT_EQ(TeamTotal(1001), 3);
}

TEST_F(LimitRules, CountsNeverGoBelowZero) {
  Limit(kWall, 0);
  Configure();
  Owns(kCeiling, 1001, 1);
  TeamLimitExceeded()[1001] = true;
  Change(kWall, 1001, -1);
  EXPECT_EQ(CountOf(kWall, 1001), 0);
  EXPECT_TRUE(Flagged(1001)) << "a refused decrease leaves the flag alone";
  EXPECT_EQ(TeamTotal(1001), 0);
  Change(kWall, 1001, -1);
  EXPECT_EQ(TeamTotal(1001), 0);
}

TEST_F(LimitRules, UnconfiguredBlueprintsAreJudgedByTheTotal) {
  MaxAmount(10);
  Configure();
  Owns(kCeiling, 1001, 10);
  Change(kCeiling, 1001, 0);
  EXPECT_FALSE(Flagged(1001)) << "10 is not above 10";
  Change(kCeiling, 1001, +5);
  EXPECT_EQ(TeamTotal(1001), 15);
  EXPECT_TRUE(Flagged(1001));
  Change(kCeiling, 1001, -1);
  EXPECT_EQ(TeamTotal(1001), 14);
  EXPECT_FALSE(Flagged(1001)) << "every decrease clears it";
  EXPECT_FALSE(Allowed(kCeiling, 1001)) << "the total itself still refuses";
}

TEST_F(LimitRules, UncountedTeamsAndEmptyPathsChangeNothing) {
  Owns(kWall, 1001, 1);
  UpdateStructureCount(FString(), 1001, +1);
  UpdateStructureCount(FString(std::u16string_view(u"\0x", 2)), 1001, +1);
  Change(kWall, 1000, +1);
  EXPECT_EQ(TeamTotal(1001), 1);
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  EXPECT_EQ(TeamTotal(1000), 0);
  EXPECT_EQ(CountOf(kWall, 1000), 0);
}

TEST_F(LimitRules, ConfigurationChangesApplyAtTheNextCheckWithoutARecount) {
  Owns(kWall, 1001, 3);
  EXPECT_FALSE(Allowed(kWall, 1001));
  Limit(kWall, 5);
  Configure();
  EXPECT_TRUE(Allowed(kWall, 1001));
}

// ---- UpdateStructureCount: complete traces --------------------------------------

std::vector<std::string> Opening(const std::string& path, int team, int change) {
  return {kOpeningRule,
          "|",
          "|",
          "| UpdateStructureCount: Starting!",
          "|",
          "| UpdateStructureCount: team_id: " + std::to_string(team),
          "| UpdateStructureCount: path_name: " + path,
          "| UpdateStructureCount: changeCount: " + std::to_string(change),
          "|",
          "|",
          kClosingRule};
}

std::vector<std::string> Closing() {
  return {"|", "|", "| UpdateStructureCount: Finished", "|", "|", kClosingRule};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

class LimitRulesTrace : public LimitRules {
 protected:
  void SetUp() override {
    LimitRules::SetUp();
    Debug(true);
    MaxAmount(10);
    Configure();
  }
};

TEST_F(LimitRulesTrace, ConfiguredBlueprintCrossingItsCount) {
  Owns(kWall, 1001, 3);
  const std::string path = BlueprintPath(kWall);
  EXPECT_THAT(
      TraceOf([&] { Change(kWall, 1001, +1); }),
      ElementsAreArray(Join(
          {Opening(path, 1001, 1),
           {"|", "| UpdateStructureCount: Debug code: 1", "|", "|",
            "| UpdateStructureCount: Debug code: 2", "|", "|",
            "| UpdateStructureCount: Debug code: 3", "|", "|",
            "| UpdateStructureCount: Debug code: 3A", "|", "|", "| UpdateStructureCount: 3B", "|"},
           {kOpeningRule, "|", "|", "| UpdateStructureCount: Result!", "|",
            "| UpdateStructureCount: Limit_exceeded: true",
            "| UpdateStructureCount: CurrentCount: 3", "| UpdateStructureCount: ChangeCount: 1",
            "| UpdateStructureCount: FinalCount: 4", "|", "|", kClosingRule},
           Closing()})));
}

TEST_F(LimitRulesTrace, ConfiguredBlueprintBelowZero) {
  Recount();
  const std::string path = BlueprintPath(kFoundation);
  EXPECT_THAT(
      TraceOf([&] { Change(kFoundation, 1001, -2); }),
      ElementsAreArray(Join(
          {Opening(path, 1001, -2),
           {"|", "| UpdateStructureCount: Debug code: 1", "|", "|",
            "| UpdateStructureCount: Debug code: 2", "|"},
           {kOpeningRule, "|", "|", "| UpdateStructureCount: Result!", "|",
            "| UpdateStructureCount: Limit_exceeded: false",
            "| UpdateStructureCount: CurrentCount: 0", "| UpdateStructureCount: ChangeCount: -2",
            "| UpdateStructureCount: FinalCount: -2", "|", "|", kClosingRule},
           Closing()})));
}

TEST_F(LimitRulesTrace, UnconfiguredRemovalAboveMaxAmount) {
  Owns(kCeiling, 1001, 15);
  const std::string path = BlueprintPath(kCeiling);
  EXPECT_THAT(
      TraceOf([&] { Change(kCeiling, 1001, -1); }),
      ElementsAreArray(Join(
          {Opening(path, 1001, -1),
           {"|", "| UpdateStructureCount: Debug code: 1", "|", "|", "| UpdateStructureCount: 4",
            "|", "|", "| UpdateStructureCount: 4A", "|", "|", "| UpdateStructureCount: 4B", "|"},
           {kOpeningRule, "|", "|", "| UpdateStructureCount: Result!", "|",
            "| UpdateStructureCount: Limit_exceeded: false",
            "| UpdateStructureCount: CurrentCount: 15", "| UpdateStructureCount: ChangeCount: -1",
            "| UpdateStructureCount: FinalCount: 14", "|", "|", kClosingRule},
           Closing()})));
}

TEST_F(LimitRulesTrace, UncountedTeamWritesOnlyOpeningAndClosing) {
  const std::string path = BlueprintPath(kWall);
  EXPECT_THAT(TraceOf([&] { Change(kWall, 1000, 1); }),
              ElementsAreArray(Join({Opening(path, 1000, 1), Closing()})));
}

// ---- AllowMergedStructureCounts ------------------------------------------------

class MergeCheck : public LimitRules {
 protected:
  void SetUp() override {
    LimitRules::SetUp();
    Limit(kFoundation, 10);
    MaxAmount(20);
    Configure();
  }
};

TEST_F(MergeCheck, ABlueprintPassesAtExactlyItsCountAndFailsOneAbove) {
  Spawn(kFoundation, 1001, 5);
  Spawn(kFoundation, 1002, 5);
  Spawn(kFoundation, 1003, 6);
  Recount();
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1002));
  EXPECT_FALSE(AllowMergedStructureCounts(1001, 1003));
  EXPECT_FALSE(AllowMergedStructureCounts(1003, 1002));
}

TEST_F(MergeCheck, TheTotalPassesAtExactlyMaxAmountAndFailsOneAbove) {
  Spawn(kCeiling, 1001, 12);
  Spawn(kCeiling, 1002, 8);
  Spawn(kCeiling, 1003, 9);
  Recount();
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1002));
  EXPECT_FALSE(AllowMergedStructureCounts(1001, 1003));
}

TEST_F(MergeCheck, FlagsDoNotMatterAndReadingAddsNoLedgerEntry) {
  Limit(kWall, 1);
  Configure();
  Spawn(kWall, 1001, 1);
  Recount();
  TeamLimitExceeded()[1001] = true;
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1002));
  for (const auto& [path, counts] : StructureLedger()) {
    EXPECT_EQ(counts.count(1002), 0U) << "entry added to " << ToUtf8(path.View());
  }
}

TEST_F(MergeCheck, TraceStopsAtTheFirstBlueprintOverItsCount) {
  Debug(true);
  Configure();
  Spawn(kFoundation, 1001, 6);
  Spawn(kFoundation, 1002, 5);
  Spawn(kWall, 1001, 1);
  Recount();
  // Ledger order: Foundation before Wall.
  EXPECT_THAT(TraceOf([] { AllowMergedStructureCounts(1001, 1002); }),
              ElementsAre(kOpeningRule, "|", "|", "| AllowMergedStructureCounts: Starts", "|", "|",
                          kClosingRule, "| AllowMergedStructureCounts: count: 11",
                          "| AllowMergedStructureCounts: Return: false"));
  Change(kFoundation, 1001, -1);
  EXPECT_THAT(
      TraceOf([] { AllowMergedStructureCounts(1001, 1002); }),
      ElementsAre(kOpeningRule, "|", "|", "| AllowMergedStructureCounts: Starts", "|", "|",
                  kClosingRule, "| AllowMergedStructureCounts: count: 10",
                  "| AllowMergedStructureCounts: count: 1", "| AllowMergedStructureCounts: Ends"));
}

}  // namespace
}  // namespace cairnward::testing
