// RCON commands on the stand-in: from the console's "rcon" and from network
// clients, with handlers registered in the stand-in rather than a plug-in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/game_members.h"
#include "captured_text.h"
#include "commands.h"
#include "rcon_client.h"
#include "rcon_endpoint.h"

namespace devserver {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using rcon::Packet;
using testing::RconClient;
using ::testing::UnorderedElementsAre;

void Reply(RCONClientConnection* connection, int id, const std::u16string& text) {
  FString body(text);
  Resolve(game::kRconSendMessage)(connection, id, 0, &body);
}

class RconEndpoint : public ::testing::Test {
 protected:
  RconEndpoint() : out_(text_.File(), &json_), console_(out_) {}

  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "cairnward-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    server_ = std::make_unique<standin::Server>(root_);
    server_->Events().on_rcon_reply = [this](const standin::RconReply& r) { out_.RconReply(r); };
    context_ = std::make_unique<Context>(Context{*server_, out_, console_, {}});
    AddRconCommands(*context_);
    auto& commands = server_->Commands();
    commands.AddRconCommand(
        FString(u"Echo"), [](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
          Reply(connection, packet->Id, u"echoed: " + std::u16string(packet->Body.View()));
        });
    commands.AddRconCommand(FString(u"Silent"), [](RCONClientConnection*, RCONPacket*, UWorld*) {});
  }

  void TearDown() override {
    StopServing();
    server_.reset();
    std::filesystem::remove_all(root_);
  }

  void Serve() {
    rcon::ListenerOptions options;
    options.password = "pw";
    options.auth_response_pause = 0ms;
    listener_ = ServeRcon(*context_, loop_, options, [this] { ++commands_run_; });
    game_ = std::thread([this] { loop_.Run(); });
  }

  // The game thread goes first, so that nothing answers into a listener that is gone.
  void StopServing() {
    if (game_.joinable()) {
      loop_.Stop();
      game_.join();
    }
    listener_.reset();
  }

  std::vector<json> Events() {
    std::vector<json> events;
    std::istringstream lines(json_.str());
    for (std::string line; std::getline(lines, line);) {
      events.push_back(json::parse(line));
    }
    return events;
  }

  std::filesystem::path root_;
  CapturedText text_;
  std::ostringstream json_;
  EventOutput out_;
  Console console_;
  std::unique_ptr<standin::Server> server_;
  std::unique_ptr<Context> context_;
  GameLoop loop_;
  std::unique_ptr<rcon::Listener> listener_;
  std::thread game_;
  int commands_run_ = 0;
};

TEST_F(RconEndpoint, EachClientGetsTheRepliesToItsOwnCommands) {
  Serve();
  RconClient ann(listener_->Port());
  RconClient bob(listener_->Port());
  ASSERT_EQ(ann.Authenticate("pw"), 1);
  ASSERT_EQ(bob.Authenticate("pw"), 1);

  // The same request id on both connections: only the connection tells them apart.
  ann.Send(5, rcon::kExecCommand, "echo from ann");
  bob.Send(5, rcon::kExecCommand, "ECHO from bob");
  EXPECT_EQ(bob.Next(), (Packet{5, 0, "echoed: ECHO from bob"}));
  EXPECT_EQ(ann.Next(), (Packet{5, 0, "echoed: echo from ann"}));

  // A command nobody registered is still answered; one that answers nothing is not.
  ann.Send(6, rcon::kExecCommand, "frob the knob");
  EXPECT_EQ(ann.Next(), (Packet{6, 0, "Unknown command: frob"}));
  ann.Send(7, rcon::kExecCommand, "silent");
  ann.Send(8, rcon::kResponseValue, "");
  EXPECT_EQ(ann.Next(), (Packet{8, 0, ""}));

  const std::uint16_t port = listener_->Port();
  StopServing();
  EXPECT_EQ(commands_run_, 4);
  const auto events = Events();
  ASSERT_EQ(events.size(), 4U) << json_.str();
  EXPECT_EQ(events[0], json::parse(R"({"event":"rcon_listening","address":"127.0.0.1","port":)" +
                                   std::to_string(port) + "}"));
  // The two clients' commands may reach the game in either order.
  EXPECT_THAT(
      std::vector<json>(events.begin() + 1, events.end()),
      UnorderedElementsAre(
          json::parse(R"({"event":"rcon_reply","id":5,"type":0,"text":"echoed: echo from ann"})"),
          json::parse(R"({"event":"rcon_reply","id":5,"type":0,"text":"echoed: ECHO from bob"})"),
          json::parse(R"({"event":"rcon_reply","id":6,"type":0,"text":"Unknown command: frob"})")));
  EXPECT_NE(text_.Read().find("rcon: 127.0.0.1:"), std::string::npos);
}

// A body with line breaks once printed lines that looked like the server's.
TEST_F(RconEndpoint, ACommandFromTheNetworkIsPrintedWithControlCharactersEscaped) {
  Serve();
  RconClient client(listener_->Port());
  ASSERT_EQ(client.Authenticate("pw"), 1);
  client.Send(2, rcon::kExecCommand, "echo \x1b[2J\r\n> plugin unload");
  EXPECT_EQ(client.Next(), (Packet{2, 0, "echoed: echo \x1b[2J\r\n> plugin unload"}));
  StopServing();
  const std::string text = text_.Read();
  EXPECT_NE(text.find(": echo \\x1b[2J\\r\\n> plugin unload\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_EQ(text.find("\n> plugin unload"), std::string::npos) << text;
}

TEST_F(RconEndpoint, TheConsoleCommandRunsInProcessAndCountsItsRequests) {
  console_.RunLine("rcon echo  \"two  blanks\" a=1 a=2", 1);
  console_.RunLine("rcon silent", 2);
  console_.RunLine("rcon frob", 3);
  console_.RunLine("rcon", 4);
  console_.RunLine("rcon echo again", 5);

  EXPECT_EQ(json_.str(),
            R"j({"event":"rcon_reply","id":1,"type":0,"text":"echoed: echo two  blanks a=1 a=2"})j"
            "\n"
            R"j({"event":"error","text":"rcon: no RCON command is named \"frob\" (line 3)"})j"
            "\n"
            R"j({"event":"error","text":"rcon: missing TEXT; usage: rcon TEXT (line 4)"})j"
            "\n"
            R"j({"event":"rcon_reply","id":3,"type":0,"text":"echoed: echo again"})j"
            "\n");
  const std::string text = text_.Read();
  EXPECT_NE(text.find("  >> [rcon reply, id 1] echoed: echo two  blanks a=1 a=2\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("rcon: no reply to request 2\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace devserver
