#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/rcon_packet.h"
#include "support/world_story.h"

namespace cairnward::testing {
namespace {

using standin::AsGame;

// The loaded plug-in's commands, reached only through the host's dispatch.
class CommandDispatch : public WorldStory {
 protected:
  void SetUp() override {
    WorldStory::SetUp();
    ASSERT_TRUE(LoadPlugin());
    alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001, /*admin=*/true);
  }

  bool Chat(const std::u16string& line) {
    return server().Commands().DispatchChat(AsPlayer(alice_), line, EChatSendMode::GlobalChat);
  }

  standin::SimPlayerController* alice_ = nullptr;
};

TEST_F(CommandDispatch, ChatConsoleAndRconLinesReachTheirHandlersWhateverTheCase) {
  EXPECT_TRUE(Chat(u"/LIMITS please"));
  EXPECT_EQ(Received(alice_).size(), 2U);

  alice_->character->aimed_actor = Spawn(kWall, 2001)[0];
  EXPECT_TRUE(server().Commands().DispatchConsole(AsGame<APlayerController>(alice_), u"getbp"));
  EXPECT_EQ(Received(alice_).back().text, u"Blueprint'/Game/Structures/Wall.Wall'");

  RCONPacket packet;
  packet.Id = 5;
  packet.Body = FString(u"updatestructures all");
  EXPECT_TRUE(
      server().Commands().DispatchRcon(AsGame<RCONClientConnection>(world().MakeRconConnection()),
                                       &packet, AsGame<UWorld>(world().GameWorld())));
  ASSERT_FALSE(server().RconReplies().empty());
  EXPECT_EQ(server().RconReplies().back().text, u"Updated All Structures");
}

TEST_F(CommandDispatch, AReloadThatRenamesTheChatCommandKeepsTheOldNameWithTheNewTexts) {
  Config()["Messages"]["ShowLimitsCmd"] = "/renamed";
  Config()["Messages"]["Sender"] = "Limits";
  WriteStoryConfig();
  ASSERT_TRUE(
      server().Commands().DispatchConsole(AsGame<APlayerController>(alice_), u"cairnward.reload"));
  EXPECT_EQ(Received(alice_).back().text, u"Reloaded config");

  EXPECT_FALSE(Chat(u"/renamed"));
  ASSERT_TRUE(Chat(u"/limits"));
  const auto shown = Received(alice_);
  ASSERT_EQ(shown.size(), 3U);
  EXPECT_EQ(shown[1].text, u"Limits");
}

}  // namespace
}  // namespace cairnward::testing
