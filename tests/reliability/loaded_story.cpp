#include "reliability/loaded_story.h"

#include "api/rcon_packet.h"

namespace cairnward::testing {

using standin::AsGame;

void LoadedStory::SetUp() {
  WorldStory::SetUp();
  admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
  alice_ = AddPlayer("Alice", 76561198000000001ULL, 2001);
  Spawn(kWall, 2001, 2);
  WriteStoryConfig();
  ASSERT_TRUE(LoadPlugin());
  server().ClearLog();
  server().ClearDeliveries();
}

std::u16string LoadedStory::ConsoleReload() {
  const std::size_t before = Received(admin_).size();
  EXPECT_TRUE(
      server().Commands().DispatchConsole(AsGame<APlayerController>(admin_), u"cairnward.reload"));
  const auto shown = Received(admin_);
  return shown.size() > before ? shown.back().text : u"";
}

namespace {

std::u16string Rcon(standin::Server& server, const std::u16string& line) {
  RCONPacket packet;
  packet.Id = 41;
  packet.Type = 2;
  packet.Body = FString(line);
  const std::size_t before = server.RconReplies().size();
  EXPECT_TRUE(server.Commands().DispatchRcon(
      AsGame<RCONClientConnection>(server.GetWorld().MakeRconConnection()), &packet,
      AsGame<UWorld>(server.GetWorld().GameWorld())));
  const auto& replies = server.RconReplies();
  return replies.size() > before ? replies.back().text : u"";
}

}  // namespace

std::u16string LoadedStory::RconReload() {
  return Rcon(server(), u"cairnward.reload");
}

void LoadedStory::RconRecount() {
  EXPECT_EQ(Rcon(server(), u"UpdateStructures"), u"Updated All Structures");
}

void LoadedStory::ExpectStartingLimitsHold() {
  EXPECT_NE(standin::Place(server(), alice_, kWall).actor, nullptr);
  EXPECT_EQ(standin::Place(server(), alice_, kWall).refused_by, standin::RefusedBy::kPlugin);
  const auto shown = Received(alice_);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().text, u"You have reached the limit for this structure");
}

std::u16string LoadedStory::LimitsShownToAlice() {
  EXPECT_TRUE(
      server().Commands().DispatchChat(AsPlayer(alice_), u"/limits", EChatSendMode::GlobalChat));
  const auto shown = Received(alice_);
  return shown.empty() ? u"" : shown.back().text;
}

}  // namespace cairnward::testing
