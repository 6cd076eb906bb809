#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "messages/push.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

// Walls are limited to 3 and in a group "Base" of 5 with foundations.
class OverCommand : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    Config()["Groups"]["Base"] = {
        {"Name", "Base"},
        {"Count", 5},
        {"Blueprints", {BlueprintPath(kWall), BlueprintPath(kFoundation)}}};
    Configure();
    AttachPlugin();
  }

  std::u16string Over(const std::u16string& command = u"cairnward.over") {
    const auto replies = server().Rcon(command);
    return replies.size() == 1 ? replies[0].text : u"(not one reply)";
  }
};

TEST_F(OverCommand, MostOverFirstThenByTeamEachWithEveryLimitItExceeds) {
  // 6002 is above the wall limit and the group (3 over), 6001 only above its
  // own total (1 over), which flags nothing; 6003 as far over as 6001.
  Config()["Teams"]["6001"]["MaxAmount"] = 1;
  Configure();
  Spawn(kWall, 6003, 4);
  Spawn(kFoundation, 6001, 2);
  Spawn(kWall, 6002, 5);
  Spawn(kFoundation, 6002, 1);
  Spawn(kWall, 6004, 3);
  Recount();
  EXPECT_EQ(Over(), u"6002: Wall 5/3, Base 6/5\n6001: Total 2/1\n6003: Wall 4/3");

  auto* admin = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
  EXPECT_TRUE(server().Console(admin, u"cairnward.over 1"));
  ASSERT_EQ(Received(admin).size(), 1U);
  EXPECT_EQ(Received(admin)[0].text, u"6002: Wall 5/3, Base 6/5\n(2 more teams over a limit)");
}

TEST_F(OverCommand, ALimitLoweredByAReloadPutsTeamsOverAndNoneOverSaysSo) {
  Spawn(kWall, 6001, 3);
  Spawn(kFoundation, 6002, 2);
  Recount();
  EXPECT_EQ(Over(), u"No team is over a limit");
  Limit(kWall, 1);
  MaxAmount(1);
  WriteStoryConfig();
  ASSERT_EQ(Over(u"cairnward.reload"), u"Reloaded config");
  EXPECT_EQ(Over(), u"6001: Wall 3/1, Total 3/1\n6002: Total 2/1");
}

TEST_F(OverCommand, ABadCountGetsTheUsageLine) {
  Spawn(kWall, 6001, 4);
  Recount();
  for (const std::u16string argument : {u"0", u"-3", u"two", u"2 3", u"99999999999"}) {
    EXPECT_THAT(Narrow(Over(u"cairnward.over " + argument)),
                ::testing::StartsWith("Usage: cairnward.over [N]"))
        << Narrow(argument);
  }
  EXPECT_EQ(Over(u"cairnward.over   7 "), u"6001: Wall 4/3");
}

TEST_F(OverCommand, ALongListIsCutAtTheReplyCapLikeTheOtherReplies) {
  Config()["Structures"][BlueprintPath(kWall)]["Name"] = std::string(2000, 'W');
  Configure();
  for (std::int32_t team = 6001; team < 6041; ++team) {
    Spawn(kWall, team, 4);
  }
  Recount();
  const std::u16string reply = Over(u"cairnward.over 1000");
  EXPECT_EQ(reply.size(), kMaxReplyLength);
  EXPECT_EQ(reply.back(), u'\u2026');
}

}  // namespace
}  // namespace cairnward::testing
