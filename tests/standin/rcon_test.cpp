#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "api/game_members.h"
#include "standin/strict.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

MATCHER_P3(Reply, id, type, text, "") {
  return arg.id == id && arg.type == type && arg.text == text;
}

class Rcon : public PluginTest {
 protected:
  // A connection whose client keeps what it receives.
  standin::SimRconConnection* Connect(std::vector<standin::RconReply>& received) {
    auto* connection = world().MakeRconConnection();
    connection->send = [&received](const standin::RconReply& reply) { received.push_back(reply); };
    return connection;
  }

  static void Send(standin::SimRconConnection* connection, int id, const char16_t* text) {
    FString body(text);
    Resolve(game::kRconSendMessage)(AsGame<RCONClientConnection>(connection), id, 0, &body);
  }
};

TEST_F(Rcon, AReplyGoesOnlyToTheConnectionItIsSentOn) {
  std::vector<standin::RconReply> to_a;
  std::vector<standin::RconReply> to_b;
  std::vector<standin::RconReply> heard;
  server().Events().on_rcon_reply = [&](const standin::RconReply& r) { heard.push_back(r); };
  auto* a = Connect(to_a);
  auto* b = Connect(to_b);

  Send(b, 7, u"to b");
  Send(a, 3, u"to a");

  EXPECT_THAT(to_a, ElementsAre(Reply(3, 0, u"to a")));
  EXPECT_THAT(to_b, ElementsAre(Reply(7, 0, u"to b")));
  EXPECT_THAT(server().RconReplies(), ElementsAre(Reply(7, 0, u"to b"), Reply(3, 0, u"to a")));
  EXPECT_THAT(heard, ElementsAre(Reply(7, 0, u"to b"), Reply(3, 0, u"to a")));

  // A reply on a connection that is gone is the plug-in's mistake.
  world().DestroyObject(a);
  EXPECT_THROW(Send(a, 4, u"late"), standin::HostViolation);
  EXPECT_THAT(TakeViolations(), ElementsAre(HasSubstr("RCONClientConnection.SendMessageW")));
  EXPECT_EQ(to_a.size(), 1U);
}

TEST_F(Rcon, ACommandRunsItsHandlerAndAnUnknownOneIsStillAnswered) {
  server().Commands().AddRconCommand(
      FString(u"Echo"), [](RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
        EXPECT_NE(world, nullptr);
        FString text(u"echo: " + std::u16string(packet->Body.View()));
        Resolve(game::kRconSendMessage)(connection, packet->Id, 0, &text);
      });
  EXPECT_THAT(server().Rcon(u"ECHO one two", 11), ElementsAre(Reply(11, 0, u"echo: ECHO one two")));
  EXPECT_THAT(server().Rcon(u"frob now", 12), ElementsAre(Reply(12, 0, u"Unknown command: frob")));
  server().Commands().Clear();
}

}  // namespace
}  // namespace cairnward::testing
