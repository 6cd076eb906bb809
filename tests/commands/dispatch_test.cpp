#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

// The loaded plug-in's commands, reached only through the host's dispatch.
class CommandDispatch : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(LoadPlugin());
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001, /*admin=*/true);
  }

  standin::SimPlayerController* alice_ = nullptr;
};

TEST_F(CommandDispatch, ChatConsoleAndRconLinesReachTheirHandlersWhateverTheCase) {
  EXPECT_TRUE(server().Chat(alice_, u"/LIMITS please"));
  EXPECT_EQ(Received(alice_).size(), 2U);

  alice_->character->aimed_actor = Spawn(kWall, 2001)[0];
  EXPECT_TRUE(server().Console(alice_, u"getbp"));
  EXPECT_EQ(Received(alice_).back().text, u"Blueprint'/Game/Structures/Wall.Wall'");

  const auto replies = server().Rcon(u"updatestructures all", 5);
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].text, u"Updated All Structures");
}

TEST_F(CommandDispatch, AReloadThatRenamesTheChatCommandKeepsTheOldNameWithTheNewTexts) {
  Config()["Messages"]["ShowLimitsCmd"] = "/renamed";
  Config()["Messages"]["Sender"] = "Limits";
  WriteStoryConfig();
  ASSERT_TRUE(server().Console(alice_, u"cairnward.reload"));
  // The reload says that the new name waits for the next load.
  ASSERT_EQ(Received(alice_).size(), 2U);
  EXPECT_EQ(Received(alice_)[0].text, u"Reloaded config");
  EXPECT_NE(Received(alice_)[1].text.find(u"takes effect at the next load"), std::u16string::npos);

  EXPECT_FALSE(server().Chat(alice_, u"/renamed"));
  ASSERT_TRUE(server().Chat(alice_, u"/limits"));
  const auto shown = Received(alice_);
  ASSERT_EQ(shown.size(), 4U);
  EXPECT_EQ(shown[2].text, u"Limits");
}

}  // namespace
}  // namespace cairnward::testing
