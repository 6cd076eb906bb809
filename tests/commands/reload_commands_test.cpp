#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Form = standin::Delivery::Form;

class Reload : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
    Spawn(kWall, 2001, 2);
    Recount();
    // The world changes behind the plug-in's back: only a recount sees it.
    Spawn(kWall, 2001);
    server().ClearLog();
  }

  void ConsoleReload() { EXPECT_TRUE(server().Console(admin_, u"cairnward.reload")); }
  std::vector<standin::RconReply> RconReload() { return server().Rcon(u"cairnward.reload", 12); }

  standin::SimPlayerController* admin_ = nullptr;
};

TEST_F(Reload, OverTheConsoleTheNewLimitsAndTheWorldAreCountedAndTheAdminToldInGreen) {
  Limit(kCeiling, 4);
  WriteStoryConfig();
  ConsoleReload();
  EXPECT_EQ(CountOf(kWall, 2001), 3);
  EXPECT_EQ(CountOf(kCeiling, 2001), 0);
  const auto shown = Received(admin_);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].form, Form::kServerMessage);
  EXPECT_EQ(shown[0].text, u"Reloaded config");
  EXPECT_FLOAT_EQ(shown[0].color.G, 1.0F);
  EXPECT_FLOAT_EQ(shown[0].color.R, 0.0F);
  EXPECT_THAT(Infos(), ElementsAre("Reloaded Config"));
}

TEST_F(Reload, OverRconTheCountsAreRebuiltBeforeTheReply) {
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].id, 12);
  EXPECT_EQ(replies[0].type, 0);
  EXPECT_EQ(replies[0].text, u"Reloaded config");
  EXPECT_EQ(CountOf(kWall, 2001), 3);
  EXPECT_THAT(Infos(), ElementsAre("Reloaded Config"));
}

TEST_F(Reload, AMissingFileIsReportedTwiceAndLeavesConfigAndCountsAsTheyWere) {
  RemoveConfig();
  ConsoleReload();
  const auto shown = Received(admin_);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, u"Failed to reload config");
  EXPECT_FLOAT_EQ(shown[0].color.R, 1.0F);
  EXPECT_FLOAT_EQ(shown[0].color.G, 0.0F);
  // The second line says which file: the server's folder is not always the one expected.
  const auto where = HasSubstr("/AtlasApi/Plugins/Cairnward/config.json");
  EXPECT_THAT(Errors(), ElementsAre("Can't open config.json", where, "Can't open config.json"));

  server().ClearLog();
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].text, u"Can't open config.json");
  EXPECT_THAT(Errors(), ElementsAre("Can't open config.json", where, "Can't open config.json"));

  EXPECT_EQ(CountOf(kWall, 2001), 2);
  EXPECT_EQ(BlueprintLimit(BlueprintPath16(kWall)), 3);
}

TEST_F(Reload, ABrokenFileAnswersTheParsersTextOverRcon) {
  WriteConfigText("{ \"General\": ");
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_THAT(Narrow(replies[0].text), HasSubstr("[json.exception.parse_error.101]"));
  EXPECT_EQ(CountOf(kWall, 2001), 2);
}

TEST_F(Reload, ARecountThatFailsAfterAGoodReadIsReportedNotPraised) {
  Config()["Structures"] = Json::array({1});
  WriteStoryConfig();
  ConsoleReload();
  const auto shown = Received(admin_);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, u"Failed to reload config");
  EXPECT_FLOAT_EQ(shown[0].color.R, 1.0F);
  EXPECT_THAT(Errors(), ElementsAre(HasSubstr("[json.exception.")));
  EXPECT_THAT(Infos(), IsEmpty());

  server().ClearLog();
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_THAT(Narrow(replies[0].text), HasSubstr("[json.exception."));
  EXPECT_THAT(Infos(), IsEmpty());
}

TEST_F(Reload, AFileTheWorldCannotBeCountedByLeavesThePreviousConfigAndCountsInForce) {
  Config()["General"]["IgnoreAdmin"] = true;
  Limit(kWall, 7);
  Config()["Structures"][BlueprintPath(kCeiling)] = Json::array();
  Spawn(kCeiling, 2001);
  WriteStoryConfig();
  ConsoleReload();
  EXPECT_THAT(Errors(), ElementsAre(HasSubstr("cannot use value() with array")));
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_THAT(Narrow(replies[0].text), HasSubstr("cannot use value() with array"));

  EXPECT_EQ(BlueprintLimit(BlueprintPath16(kWall)), 3);
  EXPECT_FALSE(IgnoreAdmin());
  EXPECT_EQ(CountOf(kWall, 2001), 2);
  EXPECT_EQ(CountOf(kCeiling, 2001), -1);
}

TEST_F(Reload, NonAsciiErrorTextReachesTheRconClientAsQuestionMarks) {
  WriteConfigText("{ \"General\": \"\xC3\xBC\" ]");
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  for (const char16_t unit : replies[0].text) {
    EXPECT_LT(unit, 0x80);
  }
}

TEST_F(Reload, ARefusedFileNamesTheMemberByItsPointerAfterTheTextItHadBefore) {
  Config()["Structures"][BlueprintPath(kWall)]["Count"] = "6";  // read by the recount
  WriteStoryConfig();
  const std::string wall =
      "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'/Count";  // "/" is "~1"
  EXPECT_EQ(Narrow(RconReload()[0].text),
            "[json.exception.type_error.302] type must be number, but is string (at " + wall + ")");
  ConsoleReload();
  EXPECT_THAT(Errors(), ::testing::Each(HasSubstr("(at " + wall + ")")));

  Limit(kWall, 3);
  Config()["Groups"]["Turrets"] = {{"Count", "x"}};  // read with the file
  WriteStoryConfig();
  EXPECT_THAT(Narrow(RconReload()[0].text),
              ::testing::EndsWith("\"Groups\" -> \"Turrets\": type must be number, but is string "
                                  "(at /Groups/Turrets/Count)"));
  EXPECT_EQ(CountOf(kWall, 2001), 2);
}

TEST_F(Reload, ANewShowLimitsCmdIsSaidToWaitForTheNextLoad) {
  Config()["Messages"]["ShowLimitsCmd"] = "/caps";
  WriteStoryConfig();
  const auto replies = RconReload();
  ASSERT_EQ(replies.size(), 1U);
  const std::string note =
      "\"Messages\" -> \"ShowLimitsCmd\" is now \"/caps\": the new name takes effect at the next "
      "load; until then the chat command is \"/limits\"";
  EXPECT_EQ(Narrow(replies[0].text), "Reloaded config\n" + note);
  EXPECT_THAT(Warnings(), ElementsAre(note));
  ConsoleReload();
  const auto shown = Received(admin_);
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(Narrow(shown[1].text), note);
}

}  // namespace
}  // namespace cairnward::testing
