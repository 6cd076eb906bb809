#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standin/strict.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

class CommandDispatch : public PluginTest {};

TEST_F(CommandDispatch, FirstWordSelectsTheHandlerWithoutRegardToCaseAndTheWholeLineGoesOn) {
  std::u16string seen;
  server().Commands().AddConsoleCommand(
      FString(u"GetBp"), [&](APlayerController*, FString* text, bool) { seen = text->View(); });
  auto* player = AsGame<APlayerController>(world().AddPlayer("Ann", 7, 1001));
  EXPECT_TRUE(server().Commands().DispatchConsole(player, u"getbp now please"));
  EXPECT_EQ(seen, u"getbp now please");
  EXPECT_FALSE(server().Commands().DispatchConsole(player, u"getbpx"));
  EXPECT_TRUE(server().Commands().RemoveConsoleCommand(FString(u"GETBP")));
  EXPECT_FALSE(server().Commands().RemoveConsoleCommand(FString(u"GetBp")));
}

TEST_F(CommandDispatch, EachKindHasItsOwnNames) {
  int chat = 0;
  int rcon = 0;
  server().Commands().AddChatCommand(FString(u"/limits"), [&](AShooterPlayerController*, FString*,
                                                              EChatSendMode::Type) { ++chat; });
  server().Commands().AddRconCommand(FString(u"/limits"),
                                     [&](RCONClientConnection*, RCONPacket*, UWorld*) { ++rcon; });
  auto* player = AsGame<AShooterPlayerController>(world().AddPlayer("Ann", 7, 1001));
  EXPECT_TRUE(server().Commands().DispatchChat(player, u"/LIMITS", EChatSendMode::GlobalChat));
  EXPECT_FALSE(server().Commands().DispatchConsole(player, u"/limits"));
  EXPECT_EQ(chat, 1);
  EXPECT_EQ(rcon, 0);
  server().Commands().Clear();
}

TEST_F(CommandDispatch, RegisteringANameTwiceIsAViolation) {
  const auto noop = [](APlayerController*, FString*, bool) {};
  server().Commands().AddConsoleCommand(FString(u"UpdateStructures"), noop);
  EXPECT_THROW(server().Commands().AddConsoleCommand(FString(u"updatestructures"), noop),
               standin::HostViolation);
  EXPECT_EQ(TakeViolations().size(), 1U);
  server().Commands().Clear();
}

}  // namespace
}  // namespace cairnward::testing
