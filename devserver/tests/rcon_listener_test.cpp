// The RCON endpoint against a plain client, with a game of its own that
// knows a few commands: no stand-in and no plug-in.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "game_loop.h"
#include "rcon_client.h"
#include "rcon_listener.h"

namespace devserver::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using rcon::Packet;

constexpr const char* kPassword = "hunter2";

class RconListener : public ::testing::Test {
 protected:
  void TearDown() override { Stop(); }

  void Start(rcon::ListenerOptions options = {}) {
    options.password = kPassword;
    options.auth_response_pause = 0ms;
    listener_ = std::make_unique<rcon::Listener>(
        options,
        [this](const rcon::Request& request, const rcon::Done& done) { Run(request, done); },
        [this](std::string line) {
          const std::lock_guard lock(mutex_);
          notes_.push_back(std::move(line));
        });
    game_ = std::thread([this] { loop_.Run(); });
  }

  // The game goes first, so that nothing answers into a listener that is gone.
  void Stop() {
    if (game_.joinable()) {
      loop_.Stop();
      game_.join();
    }
    listener_.reset();
  }

  std::uint16_t Port() const { return listener_->Port(); }

  // A client past the auth.
  std::unique_ptr<RconClient> Admin() {
    auto client = std::make_unique<RconClient>(Port());
    EXPECT_EQ(client->Authenticate(kPassword, 99), 99);
    return client;
  }

  // Whether a fresh client is still served as it should be.
  void ExpectServed() {
    const auto client = Admin();
    client->Send(3, rcon::kExecCommand, "echo still here");
    EXPECT_EQ(client->Next(), (Packet{3, 0, "still here"}));
  }

  // Waits for a note about the clients that holds `part`.
  bool Noted(const std::string& part) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        const std::lock_guard lock(mutex_);
        for (const auto& note : notes_) {
          if (note.find(part) != std::string::npos) {
            return true;
          }
        }
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

 private:
  // "echo TEXT" answers TEXT; "twice" answers two packets; "long N" answers
  // N bytes; "silent" answers nothing.
  void Run(const rcon::Request& request, const rcon::Done& done) {
    loop_.Post([request, done] {
      const std::string& body = request.body;
      std::vector<Packet> replies;
      if (body.rfind("echo ", 0) == 0) {
        replies.push_back({request.id, 0, body.substr(5)});
      } else if (body == "twice") {
        replies = {{request.id, 0, "one"}, {request.id, 0, "two"}};
      } else if (body.rfind("long ", 0) == 0) {
        replies.push_back({request.id, 0, std::string(std::stoul(body.substr(5)), 'x')});
      } else if (body != "silent") {
        replies.push_back({request.id, 0, "Unknown command: " + body});
      }
      done(std::move(replies));
    });
  }

  GameLoop loop_;
  std::unique_ptr<rcon::Listener> listener_;
  std::thread game_;
  std::mutex mutex_;
  std::vector<std::string> notes_;
};

TEST_F(RconListener, AnAuthenticatedClientIsAnsweredInOrderWithTheEndMarkerLast) {
  Start();
  RconClient client(Port());
  EXPECT_EQ(client.Authenticate(kPassword, 7), 7);

  // Sent in one go: each command is answered before the marker after it.
  client.SendBytes(rcon::EncodePacket({10, rcon::kExecCommand, "twice"}) +
                   rcon::EncodePacket({11, rcon::kResponseValue, ""}) +
                   rcon::EncodePacket({12, rcon::kExecCommand, "silent"}) +
                   rcon::EncodePacket({13, rcon::kResponseValue, ""}) +
                   rcon::EncodePacket({14, rcon::kExecCommand, "echo a b"}));
  EXPECT_EQ(client.Next(), (Packet{10, 0, "one"}));
  EXPECT_EQ(client.Next(), (Packet{10, 0, "two"}));
  EXPECT_EQ(client.Next(), (Packet{11, 0, ""}));
  EXPECT_EQ(client.Next(), (Packet{13, 0, ""}));
  EXPECT_EQ(client.Next(), (Packet{14, 0, "a b"}));

  // A long answer comes in full packets of one id, then the marker.
  client.Send(20, rcon::kExecCommand, "long 9000");
  client.Send(21, rcon::kResponseValue, "");
  std::string answer;
  for (rcon::Packet packet = client.Next(); packet.id == 20; packet = client.Next()) {
    answer += packet.body;
  }
  EXPECT_EQ(answer, std::string(9000, 'x'));
}

// Some clients take the first packet after their auth request as the answer:
// both packets must tell a wrong password from the right one.
TEST_F(RconListener, AWrongPasswordIsMinusOneInBothPacketsAndEndsTheConnection) {
  Start();
  RconClient guessing(Port());
  guessing.Send(5, rcon::kAuth, "guess");
  EXPECT_EQ(guessing.Next(), (Packet{-1, rcon::kResponseValue, ""}));
  EXPECT_EQ(guessing.Next(), (Packet{-1, rcon::kAuthResponse, ""}));
  EXPECT_TRUE(guessing.ClosedByServer());
  EXPECT_TRUE(Noted("disconnected: wrong password"));

  RconClient right(Port());
  right.Send(6, rcon::kAuth, kPassword);
  EXPECT_EQ(right.Next(), (Packet{6, rcon::kResponseValue, ""}));
  EXPECT_EQ(right.Next(), (Packet{6, rcon::kAuthResponse, ""}));
  right.Send(7, rcon::kExecCommand, "echo in");
  EXPECT_EQ(right.Next(), (Packet{7, 0, "in"}));

  // A wrong password after a right one ends the connection as well.
  EXPECT_EQ(right.Authenticate("guess", 8), -1);
  EXPECT_TRUE(right.ClosedByServer());
}

TEST_F(RconListener, WrongPasswordsBanTheirAddressOnly) {
  rcon::ListenerOptions strict;
  strict.max_failures = 3;
  strict.max_unauthenticated_per_address = 4;  // so that no guess makes room
  Start(strict);
  RconClient waiting(Port(), "127.0.0.1", "127.0.3.1");
  for (int i = 0; i < 3; ++i) {
    RconClient guessing(Port(), "127.0.0.1", "127.0.3.1");
    EXPECT_EQ(guessing.Authenticate("guess", i), -1);
  }
  EXPECT_TRUE(Noted("rcon: 127.0.3.1 banned for 600 s after 3 wrong passwords"));
  // Its connections that have not authenticated go, and new ones are refused,
  // even with the right password.
  EXPECT_TRUE(waiting.ClosedByServer());
  RconClient banned(Port(), "127.0.0.1", "127.0.3.1");
  banned.Send(1, rcon::kAuth, kPassword);
  EXPECT_TRUE(banned.ClosedByServer());
  EXPECT_TRUE(Noted("refused: its address is banned for 600 s more"));
  ExpectServed();
}

TEST_F(RconListener, ACommandBeforeAuthenticatingEndsTheConnectionUnanswered) {
  Start();
  RconClient client(Port());
  client.Send(1, rcon::kExecCommand, "echo let me in");
  EXPECT_TRUE(client.ClosedByServer());
  EXPECT_TRUE(Noted("before authenticating"));
  ExpectServed();
}

TEST_F(RconListener, BrokenPacketsEndOnlyTheirOwnConnection) {
  Start();
  const auto bystander = Admin();
  const std::vector<std::string> hostile = {
      "\x05\x00\x00\x00"s + std::string(5, '\0'),  // size below 10
      "\x01\x10\x00\x00"s,                         // 4097: over the limit
      "\xff\xff\xff\xff"s,                         // negative
      "GET / HTTP/1.1\r\nHost: x\r\n\r\n",         // another protocol
      "\x0c\x00\x00\x00"s
      "\x01\x00\x00\x00"s
      "\x03\x00\x00\x00"s
      "abcd",  // no NULs
      "\x0c\x00\x00\x00"s
      "\x01\x00\x00\x00"s
      "\x03\x00\x00\x00"s
      "a\0b\0"s,
  };
  for (const std::string& bytes : hostile) {
    RconClient client(Port());
    client.SendBytes(bytes);
    EXPECT_TRUE(client.ClosedByServer()) << ::testing::PrintToString(bytes);
  }
  // After the auth, too: a packet type that no client sends.
  const auto admin = Admin();
  admin->Send(1, 7, "");
  EXPECT_TRUE(admin->ClosedByServer());

  bystander->Send(2, rcon::kExecCommand, "echo unharmed");
  EXPECT_EQ(bystander->Next(), (Packet{2, 0, "unharmed"}));
  ExpectServed();
}

TEST_F(RconListener, TheLargestPacketIsServedAndOneByteMoreIsRefused) {
  Start();
  const auto client = Admin();
  const std::string largest = "echo " + std::string(rcon::kMaxBody - 5, 'y');
  client->Send(1, rcon::kExecCommand, largest);
  EXPECT_EQ(client->Next().body.size(), rcon::kMaxBody - 5);

  client->Send(2, rcon::kExecCommand, largest + "y");
  EXPECT_TRUE(client->ClosedByServer());
  EXPECT_TRUE(Noted("packet size 4097"));
  ExpectServed();
}

TEST_F(RconListener, AClientThatLeavesInTheMiddleOfAPacketIsForgotten) {
  Start();
  {
    const auto client = Admin();
    const std::string packet = rcon::EncodePacket({1, rcon::kExecCommand, "echo half"});
    client->SendBytes(packet.substr(0, packet.size() / 2));
  }
  EXPECT_TRUE(Noted("in the middle of a packet"));
  ExpectServed();
}

TEST_F(RconListener, SlowClientsAreDisconnected) {
  rcon::ListenerOptions impatient;
  impatient.login_timeout = 500ms;
  impatient.packet_timeout = 500ms;
  Start(impatient);
  RconClient silent(Port());
  const auto dawdling = Admin();
  dawdling->SendBytes(rcon::EncodePacket({1, rcon::kExecCommand, "echo slow"}).substr(0, 6));

  EXPECT_TRUE(silent.ClosedByServer());
  EXPECT_TRUE(dawdling->ClosedByServer());
  EXPECT_TRUE(Noted("did not authenticate in time"));
  EXPECT_TRUE(Noted("did not send the rest of a packet in time"));
}

// The server's ends of the connections to `port`, among this process's
// descriptors: bound to that port and connected to a peer.
std::vector<int> ServerEnds(std::uint16_t port) {
  std::vector<int> ends;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET || ntohs(local.sin_port) != port) {
      continue;
    }
    length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
      ends.push_back(fd);
    }
  }
  return ends;
}

// A client that sends the end marker after a command waits for the marker's
// reply; held back until the answer before it is acknowledged, it would cost
// the client's delayed acknowledgement, some 40 ms, on every command.
TEST_F(RconListener, RepliesAreSentWithoutWaitingForAcknowledgements) {
  Start();
  const auto client = Admin();
  const std::vector<int> ends = ServerEnds(Port());
  ASSERT_EQ(ends.size(), 1U);
  int no_delay = 0;
  socklen_t size = sizeof no_delay;
  ASSERT_EQ(getsockopt(ends[0], IPPROTO_TCP, TCP_NODELAY, &no_delay, &size), 0);
  EXPECT_NE(no_delay, 0);
}

// Eight idle connections once took every place. Now those not authenticated
// hold four places at most, two per address, and the oldest of them makes
// room for a newcomer, who may be the one with the password.
TEST_F(RconListener, ClientsWithoutThePasswordNeverKeepOutOneWhoHasIt) {
  Start();
  std::vector<std::unique_ptr<RconClient>> idle(8);
  for (std::size_t i = 0; i < idle.size(); ++i) {
    idle[i] =
        std::make_unique<RconClient>(Port(), "127.0.0.1", "127.0.4." + std::to_string(1 + i % 4));
  }
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(idle[i]->ClosedByServer()) << i;
  }
  EXPECT_TRUE(Noted("made room for a newer connection"));
  const auto admin = Admin();
  EXPECT_TRUE(idle[4]->ClosedByServer());

  // From one address, the third makes room by closing the first.
  RconClient first(Port(), "127.0.0.1", "127.0.5.1");
  RconClient second(Port(), "127.0.0.1", "127.0.5.1");
  RconClient third(Port(), "127.0.0.1", "127.0.5.1");
  EXPECT_TRUE(first.ClosedByServer());
  EXPECT_TRUE(Noted("made room for a newer connection from its address"));
  EXPECT_EQ(third.Authenticate(kPassword, 3), 3);

  admin->Send(4, rcon::kExecCommand, "echo still in");
  EXPECT_EQ(admin->Next(), (Packet{4, 0, "still in"}));
}

TEST_F(RconListener, ConnectionsBeyondTheCapAreClosedAtOnce) {
  rcon::ListenerOptions two;
  two.max_connections = 2;
  Start(two);
  auto first = Admin();
  const auto second = Admin();
  RconClient third(Port());
  EXPECT_TRUE(third.ClosedByServer());
  EXPECT_TRUE(Noted("2 connections are open already"));

  // A place that frees up is taken again.
  first.reset();
  EXPECT_TRUE(Noted("the client left"));
  ExpectServed();
}

}  // namespace
}  // namespace devserver::testing
