#include <string>

#include "accounting/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// ---- The ledger's ordering ----------------------------------------------------

int Compare(std::u16string_view a, std::u16string_view b) {
  return BlueprintPathLess::Compare(a, b);
}

TEST(LedgerOrder, FoldsOnlyAsciiLettersAndFoldsThemDown) {
  EXPECT_EQ(Compare(u"Blueprint'/Game/Wall.Wall'", u"BLUEPRINT'/game/wall.WALL'"), 0);
  // Folding to lower case puts "_" (0x5F) before every letter; folding up
  // would put it after them.
  EXPECT_LT(Compare(u"A_", u"AB"), 0);
  EXPECT_LT(Compare(u"a_", u"ab"), 0);
  EXPECT_NE(Compare(u"\u00c4", u"\u00e4"), 0);
  EXPECT_LT(Compare(u"Wall", u"wall2"), 0);
  EXPECT_GT(Compare(u"wall2", u"Wall"), 0);
}

TEST(LedgerOrder, TextsEndAtTheirFirstNul) {
  EXPECT_EQ(Compare(u"", u""), 0);
  EXPECT_LT(Compare(u"", u"a"), 0);
  EXPECT_EQ(Compare(std::u16string_view(u"ab\0x", 4), u"AB"), 0);
  EXPECT_EQ(Compare(std::u16string_view(u"ab\0x", 4), std::u16string_view(u"ab\0y", 4)), 0);
}

// ---- The recount ------------------------------------------------------------------

class FullRecount : public DirectStory {};

TEST_F(FullRecount, TeamsUpTo1000AreNotCounted) {
  Spawn(kWall, 1000);
  Spawn(kWall, 1001);
  Spawn(kCeiling, 0);
  Spawn(kCeiling, -5);
  Recount();
  EXPECT_EQ(TeamTotal(1000), 0);
  EXPECT_EQ(CountOf(kWall, 1000), 0);
  EXPECT_EQ(TeamTotal(1001), 1);
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  EXPECT_EQ(TeamTotal(0), 0);
  EXPECT_EQ(TeamTotal(-5), 0);
}

TEST_F(FullRecount, UnconfiguredBlueprintsCountOnlyInTheTotal) {
  Spawn(kCeiling, 1001, 4);
  Spawn(kFoundation, 1001, 2);
  Recount();
  EXPECT_EQ(TeamTotal(1001), 6);
  EXPECT_EQ(CountOf(kCeiling, 1001), -1);
  EXPECT_EQ(CountOf(kFoundation, 1001), 2);
}

TEST_F(FullRecount, OnlyStructuresInTheLevelCount) {
  SpawnNonStructure("/Game/Dinos/Raptor.Raptor", 1001);
  auto walls = Spawn(kWall, 1001, 3);
  world().RemoveActor(walls[1]);  // leaves a null slot
  Recount();
  EXPECT_EQ(TeamTotal(1001), 2);
  EXPECT_EQ(CountOf(kWall, 1001), 2);
}

TEST_F(FullRecount, FlagIsSetOnlyAboveABlueprintsCount) {
  Limit(kWall, 2);
  Limit(kFoundation, 0);
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kWall, 1002, 3);
  Spawn(kFoundation, 1003);
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 2);
  EXPECT_FALSE(Flagged(1001));
  EXPECT_EQ(CountOf(kWall, 1002), 3);
  EXPECT_TRUE(Flagged(1002));
  EXPECT_TRUE(Flagged(1003));
}

TEST_F(FullRecount, ATotalAboveMaxAmountSetsNoFlag) {
  MaxAmount(2);
  Configure();
  Spawn(kCeiling, 1001, 5);
  Recount();
  EXPECT_EQ(TeamTotal(1001), 5);
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(FullRecount, CaseInsensitiveLedgerButCaseSensitiveLimit) {
  Limit(kWall, 1);
  Configure();
  // The game names this blueprint in other letter case than the configuration.
  Spawn("/game/structures/wall.WALL", 1001, 3);
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 3);
  // Its limit lookup finds no member of that exact name: 9999.
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(FullRecount, MemberNamesDifferingInCaseMakeOneEntryNamedByTheFirst) {
  Config()["Structures"] = {{"Blueprint'/Game/wall.wall'", {{"Count", 5}}},
                            {"Blueprint'/Game/Wall.Wall'", {{"Count", 1}}}};
  Configure();
  Spawn("/Game/Wall.Wall", 1001, 2);
  Spawn("/Game/wall.wall", 1001, 2);
  Recount();
  ASSERT_EQ(StructureLedger().size(), 1U);
  // Byte order: upper case first.
  EXPECT_EQ(StructureLedger().begin()->first.View(), u"Blueprint'/Game/Wall.Wall'");
  EXPECT_EQ(StructureLedger().begin()->second.at(1001), 4);
  // The count reached 2 for the first path's limit of 1.
  EXPECT_TRUE(Flagged(1001));
}

TEST_F(FullRecount, NonAsciiMemberNamesBecomeOneQuestionMarkPerByte) {
  Config()["Structures"] = {{"Blueprint'/Game/M\xC3\xBCr.M\xC3\xBCr'", Json::object()}};
  Configure();
  Recount();
  ASSERT_EQ(StructureLedger().size(), 1U);
  EXPECT_EQ(StructureLedger().begin()->first.View(), u"Blueprint'/Game/M??r.M??r'");
}

TEST_F(FullRecount, StructuresAbsentNullOrEmptyGiveNoEntriesButTotals) {
  Spawn(kWall, 1001, 2);
  for (const Json& structures : {Json(), Json::array()}) {
    Config()["Structures"] = structures;
    Configure();
    Recount();
    EXPECT_THAT(StructureLedger(), IsEmpty());
    EXPECT_EQ(TeamTotal(1001), 2);
  }
  Config().erase("Structures");
  Configure();
  Recount();
  EXPECT_THAT(StructureLedger(), IsEmpty());
  EXPECT_EQ(TeamTotal(1001), 2);
}

TEST_F(FullRecount, StructuresWithoutNamesIsTheLibrarysErrorAndLeavesNothing) {
  Spawn(kWall, 1001, 2);
  Recount();
  Config()["Structures"] = Json::array({1});
  Configure();
  EXPECT_THROW(Recount(), Json::invalid_iterator);
  EXPECT_THAT(StructureLedger(), IsEmpty());
  EXPECT_THAT(TeamTotals(), IsEmpty());
  EXPECT_THAT(TeamLimitExceeded(), IsEmpty());
}

TEST_F(FullRecount, ASecondRecountReplacesTheFirstWholly) {
  Limit(kWall, 1);
  Configure();
  auto walls = Spawn(kWall, 1001, 2);
  Recount();
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 2);
  EXPECT_EQ(TeamTotal(1001), 2);
  EXPECT_TRUE(Flagged(1001));

  world().RemoveActor(walls[0]);
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(FullRecount, TraceShowsEachCountedStructureOfAConfiguredBlueprint) {
  Debug(true);
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kCeiling, 1001);
  Spawn(kWall, 999);
  const std::string rule(41, '_');
  EXPECT_THAT(
      TraceOf([] { Recount(); }),
      ElementsAre(rule, "|", "|",
                  "| UpdateStructureCountAll: Structures Re-Calculating has started!", "|", "|",
                  "|" + std::string(40, '_'),
                  "| UpdateStructCountAll: Start looping through structures",
                  "| UpdateStructCountAll: team_id: 1001",
                  "| UpdateStructCountAll: path_name: Blueprint'/Game/Structures/Wall.Wall'",
                  "| UpdateStructCountAll: count: 1", "| UpdateStructCountAll: team_id: 1001",
                  "| UpdateStructCountAll: path_name: Blueprint'/Game/Structures/Wall.Wall'",
                  "| UpdateStructCountAll: count: 2",
                  "| UpdateStructCountAll: Structures Re-Calculating done!"));
}

TEST_F(FullRecount, ALargeWorldCountsEveryStructureOnce) {
  // Several teams and blueprints interleaved, as a long-running server has them.
  constexpr int kRounds = 50000;
  standin::SimClass* wall = world().BlueprintClass(kWall);
  standin::SimClass* ceiling = world().BlueprintClass(kCeiling);
  for (int i = 0; i < kRounds; ++i) {
    world().SpawnActor(wall, 1001 + i % 7);
    world().SpawnActor(ceiling, 1001 + i % 5);
  }
  Recount();
  int total = 0;
  for (const auto& [team, count] : TeamTotals()) {
    total += count;
  }
  EXPECT_EQ(total, 2 * kRounds);
  EXPECT_EQ(CountOf(kWall, 1001), (kRounds + 6) / 7);
  EXPECT_TRUE(Flagged(1001));
}

}  // namespace
}  // namespace cairnward::testing
