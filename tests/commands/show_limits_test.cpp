#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "messages/push.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Form = standin::Delivery::Form;

class ShowLimits : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001);
  }

  // Reads the changed configuration, counts the world and asks for Alice.
  std::vector<standin::Delivery> Ask() {
    Configure();
    Recount();
    EXPECT_TRUE(server().Chat(alice_, u"/limits"));
    return Received(alice_);
  }

  standin::SimPlayerController* alice_ = nullptr;
};

TEST_F(ShowLimits, NotificationModeShowsTheHeadingThenOneLinePerBlueprintAndTheTotal) {
  Spawn(kWall, 2001, 2);
  Spawn(kCeiling, 2001);
  Spawn(kWall, 2002);
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[0].form, Form::kNotification);
  EXPECT_EQ(shown[0].text, u"Cairnward");
  EXPECT_FLOAT_EQ(shown[0].scale, 2.4F);
  EXPECT_EQ(shown[1].text, u"Foundation: 0/10\nWall: 2/3\nTotal: 3/100");
  EXPECT_FLOAT_EQ(shown[1].scale, 1.2F);
  for (const auto& notification : shown) {
    EXPECT_FLOAT_EQ(notification.color.R, 1.0F);
    EXPECT_FLOAT_EQ(notification.color.G, 0.8F);
    EXPECT_FLOAT_EQ(notification.color.B, 0.2F);
    EXPECT_FLOAT_EQ(notification.color.A, 1.0F);
    EXPECT_FLOAT_EQ(notification.time, 8.0F);
  }
}

TEST_F(ShowLimits, ANulEndsOnlyItsNameAndAReplyTooLongIsCutWithAnEllipsis) {
  Config()["Structures"][BlueprintPath(kWall)]["Name"] = std::string("Wall\0hidden", 11);
  EXPECT_EQ(Ask().back().text, u"Foundation: 0/10\nWall: 0/3\nTotal: 0/100");

  Config()["Messages"]["ShowLimitMsg"] = "{:>40000}: {}/{}\n";
  const std::u16string cut = Ask().back().text;
  EXPECT_EQ(cut.size(), kMaxReplyLength);
  EXPECT_EQ(cut.back(), u'\u2026');
  EXPECT_EQ(cut.find(u"Total"), std::u16string::npos);
}

TEST_F(ShowLimits, ChatModeSendsOneMessageFromTheSender) {
  Config()["Messages"]["ShowLimitsType"] = "Chat";
  Spawn(kFoundation, 2001);
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].form, Form::kChat);
  EXPECT_EQ(shown[0].sender, u"Cairnward");
  EXPECT_EQ(shown[0].text, u"Foundation: 1/10\nWall: 0/3\nTotal: 1/100");
}

TEST_F(ShowLimits, ATeamOwningNothingGetsZerosAndAZeroTotalEntry) {
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[1].text, u"Foundation: 0/10\nWall: 0/3\nTotal: 0/100");
  ASSERT_EQ(TeamTotals().count(2001), 1U);
  EXPECT_EQ(TeamTotals().at(2001), 0);
}

TEST_F(ShowLimits, WithNothingConfiguredOnlyTheTotalLineIsSent) {
  Config()["Structures"] = Json::object();
  Spawn(kWall, 2001);
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[1].text, u"Total: 1/100");
}

TEST_F(ShowLimits, NamesAreShownAsTheyAreAndOnlyTemplatesAreFormatted) {
  Config()["Structures"][BlueprintPath(kWall)]["Name"] = "{Wall} }{";
  Config()["Messages"]["TotalLimitMsg"] = "{{{{Total}}}}: {}/{}";
  Config()["Messages"]["Sender"] = "{{Cairnward}}";
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[0].text, u"{Cairnward}");
  EXPECT_EQ(shown[1].text, u"Foundation: 0/10\n{Wall} }{: 0/3\n{{Total}}: 0/100");
  EXPECT_THAT(Warnings(), IsEmpty());
}

TEST_F(ShowLimits, ABlueprintWhoseNameIsNotAsciiShowsAnEmptyNameAndNoLimit) {
  // Its ledger key has "?" where the name had other bytes, so no member matches.
  Config()["Structures"]["Blueprint'/Game/Structures/Tür.Tür'"] = {{"Count", 2}, {"Name", "Tür"}};
  const auto shown = Ask();
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[1].text, u"Foundation: 0/10\n: 0/9999\nWall: 0/3\nTotal: 0/100");
}

TEST_F(ShowLimits, AnUnknownTypeSendsNothingAndLogsNothing) {
  for (const char* type : {"notification", "CHAT", "Popup"}) {
    Config()["Messages"]["ShowLimitsType"] = type;
    EXPECT_THAT(Ask(), IsEmpty()) << type;
  }
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(ShowLimits, ADeadPlayerGetsNoReplyAndNoLogLine) {
  world().TakeCharacter(alice_);
  EXPECT_THAT(Ask(), IsEmpty());
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(ShowLimits, AMissingMaxAmountIsAWarningAndTheDocumentIsLeftAsItWas) {
  Config()["General"].erase("MaxAmount");
  EXPECT_THAT(Ask(), IsEmpty());
  ASSERT_EQ(Warnings().size(), 1U);
  EXPECT_THAT(Warnings()[0], HasSubstr("type must be number, but is null"));
  EXPECT_FALSE(std::as_const(PluginConfig())["General"].contains("MaxAmount"));
}

TEST_F(ShowLimits, BadSettingsAndTemplatesAreWarningsWithTheLibrarysText) {
  struct Case {
    const char* pointer;
    Json value;
    const char* warning;
  };
  const Case cases[] = {
      {"/Messages/NotificationColor/Green", "bright", "type must be number, but is string"},
      {"/Messages/ShowLimitsType", 1, "type must be string, but is number"},
      {"/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'/Count", "3", "type must be number"},
      {"/Messages/ShowLimitMsg", "{} {} {} {} {}", "argument not found"},
  };
  for (const auto& c : cases) {
    Config() = BaselineConfig();
    Config()[Json::json_pointer(c.pointer)] = c.value;
    server().ClearLog();
    EXPECT_THAT(Ask(), IsEmpty()) << c.pointer;
    EXPECT_THAT(Warnings(), ElementsAre(HasSubstr(c.warning))) << c.pointer;
  }
}

}  // namespace
}  // namespace cairnward::testing
