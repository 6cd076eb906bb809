#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::IsEmpty;

// Alice's team 2001 owns two walls; a group of walls and foundations is
// listed after the blueprints, and tribe 5001 has a total of its own.
class TeamLimitsCommand : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    Config()["Groups"]["Base"] = {
        {"Name", "Base"},
        {"Count", 12},
        {"Blueprints", {BlueprintPath(kWall), BlueprintPath(kFoundation)}}};
    Config()["Messages"]["ShowGroupMsg"] = "[{}] {}/{}\n";
    Config()["Teams"]["5001"]["MaxAmount"] = 40;
    Configure();
    Spawn(kWall, 2001, 2);
    Recount();
    alice_ = AddPlayer("Alice Smith", 76561198000000001ULL, 2001);
    admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
  }

  std::u16string RconReply(const std::u16string& command) {
    const auto replies = server().Rcon(command);
    return replies.size() == 1 ? replies[0].text : u"(not one reply)";
  }

  standin::SimPlayerController* alice_ = nullptr;
  standin::SimPlayerController* admin_ = nullptr;
};

TEST_F(TeamLimitsCommand, ByTeamIdOrPlayerNameItGivesTheLinesThatPlayersSee) {
  const std::u16string body = u"Foundation: 0/10\nWall: 2/3\n[Base] 2/12\nTotal: 2/100";
  EXPECT_EQ(RconReply(u"cairnward.limits 2001"), body);
  EXPECT_EQ(RconReply(u"cairnward.limits   Alice Smith  "), body);
  EXPECT_TRUE(server().Chat(alice_, u"/limits"));
  ASSERT_EQ(Received(alice_).size(), 2U);
  EXPECT_EQ(Received(alice_)[1].text, body);

  // A team's own limits, and no total made for a team that owns nothing.
  EXPECT_EQ(RconReply(u"cairnward.limits 5001"),
            u"Foundation: 0/10\nWall: 0/3\n[Base] 0/12\nTotal: 0/40");
  EXPECT_EQ(TeamTotals().count(5001), 0U);

  EXPECT_TRUE(server().Console(admin_, u"cairnward.limits 2001"));
  const auto shown = Received(admin_);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].form, standin::Delivery::Form::kChat);
  EXPECT_EQ(shown[0].sender, u"Cairnward");
  EXPECT_EQ(shown[0].text, body);
}

TEST_F(TeamLimitsCommand, AnUnknownNameOrNoArgumentGetsOneLineAndChangesNothing) {
  EXPECT_EQ(RconReply(u"cairnward.limits Mallory"), u"No player or team \"Mallory\"");
  EXPECT_EQ(RconReply(u"cairnward.limits"), u"Usage: cairnward.limits <team id or player name>");
  EXPECT_TRUE(server().Console(admin_, u"cairnward.limits 99999999999"));
  ASSERT_EQ(Received(admin_).size(), 1U);
  EXPECT_EQ(Received(admin_)[0].text,
            u"No player or team \"99999999999\": 99999999999 is out of range for a team id (a "
            u"whole number from -2147483648 to 2147483647)");
  EXPECT_THAT(Errors(), IsEmpty());
  EXPECT_EQ(TeamTotals().size(), 1U);
}

}  // namespace
}  // namespace cairnward::testing
