#include <string>
#include <vector>

#include "accounting/limit_rules.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kOpeningRule(41, '_');
const std::string kClosingRule = "|" + std::string(40, '_');

// BaselineConfig(): Wall Count 3, Foundation Count 10, Ceiling unconfigured.
class LimitRules : public DirectStory {
 protected:
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

TEST_F(LimitRules, EachLimitRefusesFromItsValueOn) {
  MaxAmount(10);
  Configure();
  Owns(kCeiling, 1001, 9);
  Owns(kWall, 1002, 2);
  EXPECT_TRUE(Allowed(kCeiling, 1001));
  EXPECT_TRUE(Allowed(kWall, 1002));
  Owns(kCeiling, 1001, 1);
  Owns(kWall, 1002, 1);
  EXPECT_FALSE(Allowed(kFoundation, 1001)) << "total 10 of 10";
  EXPECT_FALSE(Allowed(kWall, 1002)) << "3 walls of 3";
  EXPECT_TRUE(Allowed(kFoundation, 1002));
}

TEST_F(LimitRules, LimitsOfZeroRefuseEveryoneButExemptAdmins) {
  Limit(kWall, 0);
  Config()["General"]["IgnoreAdmin"] = true;
  Configure();
  AddPlayer("Admin", 76561198000000001, 1001, /*admin=*/true);
  Recount();
  EXPECT_FALSE(Allowed(kWall, 1001));
  EXPECT_FALSE(Allowed(kWall, 5)) << "uncounted teams too";
  EXPECT_TRUE(Allowed(kFoundation, 5));

  Config()["General"].erase("MaxAmount");
  Configure();
  EXPECT_FALSE(Allowed(kCeiling, 1001));
  EXPECT_FALSE(Allowed(kFoundation, 1000));
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

TEST_F(LimitRules, AdminsAreExemptOnlyWithTheSwitchOfTheLastReadAndAPositiveSteamId) {
  constexpr std::uint64_t kAdmin = 76561198000000001;
  constexpr std::uint64_t kNegativeAdmin = 0x8000000000000001;
  AddPlayer("Admin", kAdmin, 1001, /*admin=*/true);
  AddPlayer("Odd", kNegativeAdmin, 1001, /*admin=*/true);
  AddPlayer("Zero", 0, 1001, /*admin=*/true);
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
  EXPECT_FALSE(Allowed(kWall, 1001, 76561198000000009)) << "not in Admins";

  // Switched off in the file but not read yet.
  Config()["General"]["IgnoreAdmin"] = false;
  WriteStoryConfig();
  EXPECT_TRUE(Allowed(kWall, 1001, kAdmin));
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

// Every check reads the limits of the configuration in force: a reload
// takes effect at the next check, a recount or not, for each way of asking.
TEST_F(LimitRules, AReloadChangesEveryLimitAtOnce) {
  Owns(kWall, 1001, 3);
  Owns(kWall, 1002, 1);
  EXPECT_FALSE(Allowed(kWall, 1001));
  EXPECT_FALSE(AllowMergedStructureCounts(1001, 1002));
  Limit(kWall, 4);
  Configure();
  EXPECT_TRUE(Allowed(kWall, 1001));
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1002));
  Change(kWall, 1001, +1);
  EXPECT_FALSE(Flagged(1001)) << "4 walls of 4";
  Limit(kWall, 3);
  Configure();
  Change(kWall, 1001, +1);
  EXPECT_TRUE(Flagged(1001)) << "5 walls of 3";
}

TEST_F(LimitRules, ALimitThatCannotBeReadFailsEveryCheckUntilItIsMended) {
  Owns(kWall, 1001, 1);
  Config()["Structures"][BlueprintPath(kWall)]["Count"] = "three";
  Configure();
  EXPECT_THROW(Allowed(kWall, 1001), Json::type_error);
  EXPECT_THROW(Allowed(kWall, 1001), Json::type_error);
  EXPECT_THROW(AllowMergedStructureCounts(1001, 1002), Json::type_error);
  Limit(kWall, 1);
  Configure();
  EXPECT_FALSE(Allowed(kWall, 1001));
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

// ---- UpdateStructureCount ------------------------------------------------------

// One change played by a team of its own. The flag must follow the counts as
// they are after the change, whatever was changed: a recount would find it so.
struct FlagCase {
  const char* row;
  const char* blueprint;
  int walls, foundations, ceilings;  // what the team owns before
  int change;
  int walls_after, total_after;
  bool flag_after;
};

TEST_F(LimitRules, TheFlagIsSetExactlyWhileACountIsAboveItsLimit) {
  MaxAmount(10);
  Configure();
  const std::vector<FlagCase> table = {
      {"configured, below zero", kWall, 0, 0, 1, -1, 0, 0, false},
      {"configured, up above the count", kWall, 3, 0, 0, +1, 4, 4, true},
      {"configured, up within the count", kWall, 1, 0, 0, +1, 2, 2, false},
      {"configured, down still above", kWall, 6, 0, 0, -1, 5, 5, true},
      {"configured, down within (total aside)", kWall, 4, 0, 12, -1, 3, 15, false},
      {"another configured one down, walls still above", kFoundation, 5, 2, 0, -1, 5, 6, true},
      {"unconfigured down, walls still above", kCeiling, 5, 0, 3, -1, 5, 7, true},
      {"unconfigured, up above MaxAmount", kCeiling, 0, 0, 10, +1, 0, 11, false},
  };
  for (std::size_t i = 0; i < table.size(); ++i) {
    const int team = 1001 + static_cast<int>(i);
    Spawn(kWall, team, table[i].walls);
    Spawn(kFoundation, team, table[i].foundations);
    Spawn(kCeiling, team, table[i].ceilings);
  }
  Recount();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const FlagCase& c = table[i];
    const int team = 1001 + static_cast<int>(i);
    Change(c.blueprint, team, c.change);
    EXPECT_EQ(CountOf(kWall, team), c.walls_after) << c.row;
    EXPECT_EQ(TeamTotal(team), c.total_after) << c.row;
    EXPECT_EQ(Flagged(team), c.flag_after) << c.row;
  }
  // The total rule refuses where no blueprint's limit is passed.
  EXPECT_FALSE(Allowed(kCeiling, 1008));

  // A team above two limits is flagged until it is within both.
  Change(kFoundation, 1002, +11);
  Change(kWall, 1002, -1);
  EXPECT_TRUE(Flagged(1002)) << "11 foundations of 10";
  Change(kFoundation, 1002, -1);
  EXPECT_FALSE(Flagged(1002));
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

// ---- UpdateStructureCount: complete traces --------------------------------------

std::vector<std::string> Trace(const std::string& path, int team, int change,
                               const std::vector<std::string>& steps) {
  std::vector<std::string> lines = {
      kOpeningRule,
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
  lines.insert(lines.end(), steps.begin(), steps.end());
  for (const char* line : {"|", "|", "| UpdateStructureCount: Finished", "|", "|"}) {
    lines.emplace_back(line);
  }
  lines.push_back(kClosingRule);
  return lines;
}

std::vector<std::string> Result(const char* flag, int current, int change, int final_count) {
  return {kOpeningRule,
          "|",
          "|",
          "| UpdateStructureCount: Result!",
          "|",
          std::string("| UpdateStructureCount: Limit_exceeded: ") + flag,
          "| UpdateStructureCount: CurrentCount: " + std::to_string(current),
          "| UpdateStructureCount: ChangeCount: " + std::to_string(change),
          "| UpdateStructureCount: FinalCount: " + std::to_string(final_count),
          "|",
          "|",
          kClosingRule};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(LimitRules, TraceOfEachBranchLineByLine) {
  Debug(true);
  MaxAmount(10);
  Configure();
  Owns(kWall, 1001, 3);
  Owns(kCeiling, 1001, 12);
  const std::string wall = BlueprintPath(kWall);
  const std::string ceiling = BlueprintPath(kCeiling);

  EXPECT_THAT(TraceOf([&] { Change(kWall, 1001, +1); }),
              ElementsAreArray(
                  Trace(wall, 1001, 1,
                        std::vector<std::string>{"|", "| UpdateStructureCount: Debug code: 1", "|",
                                                 "|", "| UpdateStructureCount: Debug code: 2", "|",
                                                 "|", "| UpdateStructureCount: Debug code: 3", "|",
                                                 "|", "| UpdateStructureCount: Debug code: 3A", "|",
                                                 "|", "| UpdateStructureCount: 3B", "|"} +
                            Result("true", 3, 1, 4))));
  EXPECT_THAT(
      TraceOf([&] { Change(kCeiling, 1001, -1); }),
      ElementsAreArray(Trace(ceiling, 1001, -1,
                             std::vector<std::string>{"|", "| UpdateStructureCount: Debug code: 1",
                                                      "|", "|", "| UpdateStructureCount: 4", "|",
                                                      "|", "| UpdateStructureCount: 4A", "|", "|",
                                                      "| UpdateStructureCount: 4B", "|"} +
                                 Result("true", 16, -1, 15))));
  EXPECT_THAT(TraceOf([&] { Change(kWall, 1000, 1); }), ElementsAreArray(Trace(wall, 1000, 1, {})));
}

// ---- AllowMergedStructureCounts ------------------------------------------------

TEST_F(LimitRules, MergesPassAtExactlyTheLimitsAndFailOneAbove) {
  MaxAmount(20);
  Configure();
  Spawn(kFoundation, 1001, 5);
  Spawn(kFoundation, 1002, 5);
  Spawn(kFoundation, 1003, 6);
  Spawn(kCeiling, 1004, 15);
  Spawn(kCeiling, 1005, 16);
  Recount();
  LimitMarks other_limit;  // flags do not matter here
  other_limit.Set(1001, true, TeamLimitExceeded());
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1002)) << "10 foundations of 10";
  EXPECT_FALSE(AllowMergedStructureCounts(1001, 1003)) << "11 foundations of 10";
  EXPECT_TRUE(AllowMergedStructureCounts(1001, 1004)) << "total 20 of 20";
  EXPECT_FALSE(AllowMergedStructureCounts(1001, 1005)) << "total 21 of 20";
  for (const auto& [path, counts] : StructureLedger()) {
    EXPECT_EQ(counts.count(1004), 0U) << "reading must add no ledger entry";
  }
}

TEST_F(LimitRules, MergeTraceStopsAtTheFirstBlueprintOverItsCount) {
  Debug(true);
  Configure();
  Spawn(kFoundation, 1001, 6);
  Spawn(kFoundation, 1002, 5);
  Spawn(kWall, 1001, 1);
  Recount();
  const std::vector<std::string> banner = {
      kOpeningRule, "|", "|", "| AllowMergedStructureCounts: Starts", "|", "|", kClosingRule};
  // Ledger order: Foundation before Wall.
  EXPECT_THAT(TraceOf([] { AllowMergedStructureCounts(1001, 1002); }),
              ElementsAreArray(banner + std::vector<std::string>{
                                            "| AllowMergedStructureCounts: count: 11",
                                            "| AllowMergedStructureCounts: Return: false"}));
  Change(kFoundation, 1001, -1);
  EXPECT_THAT(
      TraceOf([] { AllowMergedStructureCounts(1001, 1002); }),
      ElementsAreArray(banner + std::vector<std::string>{"| AllowMergedStructureCounts: count: 10",
                                                         "| AllowMergedStructureCounts: count: 1",
                                                         "| AllowMergedStructureCounts: Ends"}));
}

}  // namespace
}  // namespace cairnward::testing
