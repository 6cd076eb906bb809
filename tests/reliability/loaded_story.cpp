#include "reliability/loaded_story.h"

namespace cairnward::testing {

void LoadedStory::SetUp() {
  PluginTest::SetUp();
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
  EXPECT_TRUE(server().Console(admin_, u"cairnward.reload"));
  const auto shown = Received(admin_);
  return shown.size() > before ? shown.back().text : u"";
}

std::u16string LoadedStory::RconReload() {
  const auto replies = server().Rcon(u"cairnward.reload", 41);
  return replies.empty() ? u"" : replies.back().text;
}

void LoadedStory::RconRecount() {
  const auto replies = server().Rcon(u"UpdateStructures", 41);
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].text, u"Updated All Structures");
}

void LoadedStory::ExpectStartingLimitsHold() {
  EXPECT_NE(server().Place(alice_, kWall).actor, nullptr);
  EXPECT_EQ(server().Place(alice_, kWall).refused_by, standin::RefusedBy::kPlugin);
  const auto shown = Received(alice_);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().text, u"You have reached the limit for this structure");
}

std::u16string LoadedStory::LimitsShownToAlice() {
  EXPECT_TRUE(server().Chat(alice_, u"/limits"));
  const auto shown = Received(alice_);
  return shown.empty() ? u"" : shown.back().text;
}

}  // namespace cairnward::testing
