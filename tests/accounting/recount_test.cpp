#include <string>

#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

int Compare(std::u16string_view a, std::u16string_view b) {
  return BlueprintPathLess::Compare(a, b);
}

TEST(LedgerOrder, FoldsOnlyAsciiLettersDownAndEndsAtNul) {
  EXPECT_EQ(Compare(u"Blueprint'/Game/Wall.Wall'", u"BLUEPRINT'/game/wall.WALL'"), 0);
  // Folding down puts "_" (0x5F) before every letter; folding up would not.
  EXPECT_LT(Compare(u"A_", u"AB"), 0);
  EXPECT_LT(Compare(u"a_", u"ab"), 0);
  EXPECT_NE(Compare(u"\u00c4", u"\u00e4"), 0);
  EXPECT_GT(Compare(u"wall2", u"Wall"), 0);
  EXPECT_LT(Compare(u"", u"a"), 0);
  EXPECT_EQ(Compare(std::u16string_view(u"ab\0x", 4), u"AB"), 0);
}

class FullRecount : public DirectStory {};

TEST_F(FullRecount, CountsStructuresOfTeamsAbove1000AndConfiguredBlueprintsApart) {
  Spawn(kWall, 1000);
  Spawn(kWall, 1001);
  Spawn(kCeiling, 1001, 4);
  Spawn(kCeiling, -5);
  SpawnNonStructure("/Game/Dinos/Raptor.Raptor", 1001);
  world().RemoveActor(Spawn(kFoundation, 1001)[0]);  // leaves a null slot
  Recount();
  EXPECT_EQ(TeamTotal(1000), 0);
  EXPECT_EQ(CountOf(kWall, 1000), 0);
  EXPECT_EQ(TeamTotal(-5), 0);
  EXPECT_EQ(TeamTotal(1001), 5);
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  EXPECT_EQ(CountOf(kFoundation, 1001), 0);
  EXPECT_EQ(CountOf(kCeiling, 1001), -1) << "no entry for an unconfigured blueprint";
}

TEST_F(FullRecount, FlagsOnlyCountsAboveTheirBlueprintsCount) {
  Limit(kWall, 2);
  Limit(kFoundation, 0);
  MaxAmount(2);
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kWall, 1002, 3);
  Spawn(kFoundation, 1003);
  Spawn(kCeiling, 1004, 5);
  Recount();
  EXPECT_FALSE(Flagged(1001));
  EXPECT_TRUE(Flagged(1002));
  EXPECT_TRUE(Flagged(1003));
  EXPECT_FALSE(Flagged(1004)) << "a total above MaxAmount is not flagged here";
}

TEST_F(FullRecount, C4ChargesCountNowhereAsInTheHooks) {
  const std::string c4 = "/Game/Structures/C4Charge.C4Charge";
  Limit(c4, 0);
  Configure();
  Spawn(c4, 1001, 2);
  Spawn(kWall, 1001);
  Recount();
  EXPECT_EQ(TeamTotal(1001), 1);
  EXPECT_EQ(CountOf(c4, 1001), 0);
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(FullRecount, CaseInsensitiveLedgerButCaseSensitiveLimit) {
  Limit(kWall, 1);
  Configure();
  Spawn("/game/structures/wall.WALL", 1001, 3);
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 3);
  EXPECT_FALSE(Flagged(1001)) << "the path's own limit is 9999";
}

TEST_F(FullRecount, MemberNamesDifferingInCaseMakeOneEntryNamedByTheFirst) {
  Config()["Structures"] = {{"Blueprint'/Game/wall.wall'", {{"Count", 5}}},
                            {"Blueprint'/Game/Wall.Wall'", {{"Count", 1}}}};
  Configure();
  Spawn("/Game/Wall.Wall", 1001, 2);
  Spawn("/Game/wall.wall", 1001, 2);
  Recount();
  ASSERT_EQ(StructureLedger().size(), 1U);
  EXPECT_EQ(StructureLedger().begin()->first.View(), u"Blueprint'/Game/Wall.Wall'");
  EXPECT_EQ(StructureLedger().begin()->second.at(1001), 4);
  EXPECT_TRUE(Flagged(1001));
}

TEST_F(FullRecount, NonAsciiMemberNamesBecomeOneQuestionMarkPerByte) {
  Config()["Structures"] = {{"Blueprint'/Game/M\xC3\xBCr.M\xC3\xBCr'", Json::object()}};
  Configure();
  Recount();
  ASSERT_EQ(StructureLedger().size(), 1U);
  EXPECT_EQ(StructureLedger().begin()->first.View(), u"Blueprint'/Game/M??r.M??r'");
}

TEST_F(FullRecount, StructuresWithoutMemberNames) {
  Spawn(kWall, 1001, 2);
  for (const Json& structures : {Json(), Json::array()}) {
    Config()["Structures"] = structures;
    Configure();
    Recount();
    EXPECT_THAT(StructureLedger(), IsEmpty());
    EXPECT_EQ(TeamTotal(1001), 2);
  }
  // Names asked of a non-empty array: the JSON library's error, and the
  // counts from before kept.
  Config()["Structures"] = Json::array({1});
  Configure();
  EXPECT_THROW(Recount(), Json::invalid_iterator);
  EXPECT_EQ(TeamTotal(1001), 2);
}

TEST_F(FullRecount, ARecountThatFailsPartWayLeavesTheCountsItStartedFrom) {
  Limit(kWall, 3);
  Configure();
  Spawn(kWall, 1001, 4);
  Recount();
  // Walls are met first and counted afresh, then the foundation fails.
  Spawn(kWall, 1001);
  Spawn(kFoundation, 1002);
  Config()["Structures"][BlueprintPath(kFoundation)]["Count"] = "ten";
  Configure();
  EXPECT_THROW(Recount(), Json::type_error);
  EXPECT_EQ(CountOf(kWall, 1001), 4);
  EXPECT_EQ(TeamTotal(1001), 4);
  EXPECT_TRUE(Flagged(1001));
  EXPECT_EQ(TeamTotal(1002), 0);
}

TEST_F(FullRecount, EachRecountWhollyReplacesTheLast) {
  Limit(kWall, 1);
  Configure();
  auto walls = Spawn(kWall, 1001, 2);
  Recount();
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 2);
  EXPECT_TRUE(Flagged(1001));
  world().RemoveActor(walls[0]);
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 1);
  EXPECT_FALSE(Flagged(1001));
}

TEST_F(FullRecount, ABlueprintLimitedSinceTheLastRecountIsCountedApartByTheNext) {
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kCeiling, 1001);
  Spawn(kFoundation, 1001, 3);
  Recount();
  EXPECT_FALSE(Flagged(1001));
  // A new first entry in ledger order moves the others; a lower limit flags.
  Limit(kCeiling, 5);
  Limit(kFoundation, 2);
  Configure();
  Recount();
  EXPECT_EQ(CountOf(kWall, 1001), 2);
  EXPECT_EQ(CountOf(kCeiling, 1001), 1);
  EXPECT_EQ(CountOf(kFoundation, 1001), 3);
  EXPECT_TRUE(Flagged(1001));
}

TEST_F(FullRecount, TraceShowsEachCountedStructureOfAConfiguredBlueprint) {
  Debug(true);
  Configure();
  Spawn(kWall, 1001, 2);
  Spawn(kCeiling, 1001);
  Spawn(kWall, 999);
  const std::string counted = "| UpdateStructCountAll: ";
  EXPECT_THAT(TraceOf([] { Recount(); }),
              ElementsAre(std::string(41, '_'), "|", "|",
                          "| UpdateStructureCountAll: Structures Re-Calculating has started!", "|",
                          "|", "|" + std::string(40, '_'),
                          counted + "Start looping through structures", counted + "team_id: 1001",
                          counted + "path_name: Blueprint'/Game/Structures/Wall.Wall'",
                          counted + "count: 1", counted + "team_id: 1001",
                          counted + "path_name: Blueprint'/Game/Structures/Wall.Wall'",
                          counted + "count: 2", counted + "Structures Re-Calculating done!"));
}

TEST_F(FullRecount, ALargeWorldCountsEveryStructureOnce) {
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
}

}  // namespace
}  // namespace cairnward::testing
