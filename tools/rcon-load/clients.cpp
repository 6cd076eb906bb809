#include "clients.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace rcon_load {
namespace {

namespace rcon = devserver::rcon;
using rcon::Packet;

// What the plug-in and the host answer to each command of the mix.
struct Command {
  const char* text;
  const char* reply;
};
constexpr std::array<Command, 3> kMix = {{
    {"UpdateStructures", "Updated All Structures"},
    {"cairnward.reload", "Reloaded config"},
    {"rcon-load.nosuch", "Unknown command: rcon-load.nosuch"},
}};

// A refusal at the cap, or a place taken back, comes at once; an admitted
// client would only be closed at the login timeout, which the run sets
// longer than this.
constexpr Clock::duration kRefusalWithin = std::chrono::seconds(5);

// Each client comes from an address of its own (all of 127.0.0.0/8 is this
// machine), as from many machines: the server's caps and bans go by address.
enum class Kind {
  kWellBehaved = 1,
  kSlow,
  kWrongPassword,
  kHalfOpen,
  kGarbage,
  kOverCap,
  kSquatter,
  kGuesser,
  kFresh
};

asio::ip::address AddressOf(Kind kind, int index) {
  const auto octet = [](int value) { return static_cast<unsigned char>(value); };
  return asio::ip::make_address_v4(asio::ip::address_v4::bytes_type{
      127, octet(static_cast<int>(kind)), octet(index / 250), octet(index % 250 + 1)});
}

const char* NameOf(Kind kind) {
  switch (kind) {
    case Kind::kWellBehaved:
      return "a well-behaved";
    case Kind::kSlow:
      return "a slow";
    case Kind::kWrongPassword:
      return "a wrong-password";
    case Kind::kHalfOpen:
      return "a half-open";
    case Kind::kGarbage:
      return "a garbage";
    case Kind::kOverCap:
      return "an over-the-cap";
    case Kind::kSquatter:
      return "a squatter";
    case Kind::kGuesser:
      return "a guesser";
    case Kind::kFresh:
      break;
  }
  return "the fresh";
}

void Remember(Stage& stage, std::string what) {
  constexpr std::size_t kKept = 10;
  if (stage.figures.surprises.size() < kKept) {
    stage.figures.surprises.push_back(std::move(what));
  }
}

asio::awaitable<bool> SendSlowly(Connection& connection, std::string_view bytes,
                                 Clock::duration pause) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!co_await connection.Write(bytes.substr(i, 1), kPatience)) {
      co_return false;
    }
    co_await Sleep(pause);
  }
  co_return true;
}

asio::awaitable<bool> Send(Connection& connection, std::string_view bytes,
                           std::optional<Clock::duration> slowly) {
  if (slowly) {
    co_return co_await SendSlowly(connection, bytes, *slowly);
  }
  co_return co_await connection.Write(bytes, kPatience);
}

// The auth exchange: the id of both packets of the answer (`id`, or -1 for a
// wrong password), or nothing when the server did not answer as it should.
asio::awaitable<std::optional<std::int32_t>> Authenticate(
    Connection& connection, const std::string& password, std::int32_t id,
    std::optional<Clock::duration> slowly = std::nullopt) {
  const std::string auth = rcon::EncodePacket({id, rcon::kAuth, password});
  if (!co_await Send(connection, auth, slowly)) {
    co_return std::nullopt;
  }
  const Received empty = co_await connection.Receive(kPatience);
  const Received response = co_await connection.Receive(kPatience);
  const std::int32_t answered = response.packet.id;
  if (empty.outcome != Received::Outcome::kPacket ||
      response.outcome != Received::Outcome::kPacket || (answered != id && answered != -1) ||
      empty.packet != Packet{answered, rcon::kResponseValue, ""} ||
      response.packet != Packet{answered, rcon::kAuthResponse, ""}) {
    co_return std::nullopt;
  }
  co_return answered;
}

struct Exchanged {
  bool right = false;     // one reply, with the command's id and the expected text
  bool answered = false;  // some reply came
  bool go_on = false;     // the end marker came back: the connection still serves
};

// One command with an end marker after it, so that a missing answer shows as
// the marker coming back first.
asio::awaitable<Exchanged> Exchange(Stage& stage, Connection& connection, std::int32_t id,
                                    const Command& command,
                                    std::optional<Clock::duration> slowly = std::nullopt) {
  const std::int32_t marker = id + 1;
  Exchanged result;
  const std::string exec = rcon::EncodePacket({id, rcon::kExecCommand, command.text});
  const std::string end = rcon::EncodePacket({marker, rcon::kResponseValue, ""});
  if (!co_await Send(connection, exec, slowly)) {
    co_return result;
  }
  if (!co_await connection.Write(end, kPatience)) {
    co_return result;
  }
  std::vector<Packet> replies;
  while (true) {
    Received received = co_await connection.Receive(kPatience);
    if (received.outcome != Received::Outcome::kPacket) {
      break;
    }
    if (received.packet == Packet{marker, rcon::kResponseValue, ""}) {
      result.go_on = true;
      break;
    }
    replies.push_back(std::move(received.packet));
  }
  result.answered = !replies.empty();
  result.right =
      replies.size() == 1 && replies[0] == Packet{id, rcon::kResponseValue, command.reply};
  if (result.answered && !result.right) {
    Remember(stage, fmt::format("\"{}\" (id {}) was answered with {} packets, the first id {}: {}",
                                command.text, id, replies.size(), replies[0].id, replies[0].body));
  } else if (!result.go_on) {
    Remember(stage, fmt::format("\"{}\" (id {}): the connection ended before its end marker",
                                command.text, id));
  }
  co_return result;
}

void Count(Stage& stage, const Exchanged& exchanged) {
  if (exchanged.right) {
    ++stage.figures.answered;
  } else if (exchanged.answered) {
    ++stage.figures.wrong;
  }
}

asio::awaitable<std::shared_ptr<Connection>> Connected(Stage& stage, Kind kind, int index) {
  auto connection = Connection::Make(co_await asio::this_coro::executor);
  if (!co_await connection->Connect(stage.server, AddressOf(kind, index), kPatience)) {
    Remember(stage, fmt::format("{} client {} could not connect", NameOf(kind), index));
    co_return nullptr;
  }
  co_return connection;
}

// The bodies of the clients; the public ones count them out when done.
asio::awaitable<void> WellBehaved(Stage& stage, int index) {
  stage.figures.commands += stage.plan.commands;
  const auto connection = co_await Connected(stage, Kind::kWellBehaved, index);
  if (!connection) {
    co_return;
  }
  if (co_await Authenticate(*connection, stage.plan.password, 1) != 1) {
    Remember(stage, fmt::format("well-behaved client {} was not let in", index));
    co_return;
  }
  co_await stage.release.Wait();
  for (int i = 0; i < stage.plan.commands; ++i) {
    const Command& command = kMix[static_cast<std::size_t>(index + i) % kMix.size()];
    const Exchanged exchanged = co_await Exchange(stage, *connection, 2 + 2 * i, command);
    Count(stage, exchanged);
    if (!exchanged.go_on) {
      break;
    }
  }
  stage.commands_done = std::max(stage.commands_done, Clock::now());
}

asio::awaitable<void> Slow(Stage& stage, int index) {
  ++stage.figures.slow.clients;
  stage.figures.commands += kSlowCommands;
  const auto connection = co_await Connected(stage, Kind::kSlow, index);
  if (!connection) {
    co_return;
  }
  co_await stage.release.Wait();
  const Clock::duration pause = stage.plan.slow_pause;
  if (co_await Authenticate(*connection, stage.plan.password, 1, pause) != 1) {
    Remember(stage, fmt::format("slow client {} was not let in", index));
    co_return;
  }
  bool served = true;
  for (int i = 0; i < kSlowCommands; ++i) {
    const Command& command = kMix[static_cast<std::size_t>(i) % kMix.size()];
    const Exchanged exchanged = co_await Exchange(stage, *connection, 2 + 2 * i, command, pause);
    Count(stage, exchanged);
    served = served && exchanged.right;
    if (!exchanged.go_on) {
      co_return;
    }
  }
  if (served) {
    ++stage.figures.slow.as_expected;
  }
}

asio::awaitable<void> WrongPassword(Stage& stage, int index) {
  ++stage.figures.wrong_password.clients;
  const auto connection = co_await Connected(stage, Kind::kWrongPassword, index);
  if (!connection) {
    co_return;
  }
  co_await stage.release.Wait();
  const std::string guess = fmt::format("guess-{}", index);
  if (co_await Authenticate(*connection, guess, 1) != -1) {
    Remember(stage, fmt::format("wrong-password client {} was not refused", index));
    co_return;
  }
  if (co_await connection->AwaitClose(kPatience)) {
    ++stage.figures.wrong_password.as_expected;
  }
}

// Holds its address's places for connections that have not authenticated,
// then opens one more: the oldest must go at once, the others at the login
// deadline.
asio::awaitable<void> Squatter(Stage& stage, int index) {
  ++stage.figures.squatters.clients;
  std::vector<std::shared_ptr<Connection>> held;
  for (int i = 0; i < Plan::kSquatterPlaces; ++i) {
    auto connection = co_await Connected(stage, Kind::kSquatter, index);
    if (!connection) {
      co_return;
    }
    held.push_back(std::move(connection));
  }
  co_await stage.release.Wait();
  const auto newer = co_await Connected(stage, Kind::kSquatter, index);
  if (!newer || !co_await held.front()->AwaitClose(kRefusalWithin)) {
    Remember(stage, fmt::format("squatter {} kept its oldest place", index));
    co_return;
  }
  held.front() = newer;
  for (const auto& connection : held) {
    if (!co_await connection->AwaitClose(kPatience)) {
      co_return;
    }
  }
  ++stage.figures.squatters.as_expected;
}

// Guesses once per connection, as each wrong password ends its connection,
// until the server refuses the address: that must be after exactly
// kMaxFailures guesses.
asio::awaitable<void> Guesser(Stage& stage, int index) {
  ++stage.figures.guessers.clients;
  auto connection = co_await Connected(stage, Kind::kGuesser, index);
  if (!connection) {
    co_return;
  }
  co_await stage.release.Wait();
  for (int guess = 1; guess <= kMaxFailures; ++guess) {
    if (guess > 1) {
      connection = co_await Connected(stage, Kind::kGuesser, index);
    }
    const std::string password = fmt::format("guess-{}-{}", index, guess);
    if (!connection || co_await Authenticate(*connection, password, guess) != -1 ||
        !co_await connection->AwaitClose(kPatience)) {
      Remember(stage, fmt::format("guesser {} was not refused at guess {}", index, guess));
      co_return;
    }
  }
  // Refused at once: the auth, right as it is, is never answered.
  const auto banned = co_await Connected(stage, Kind::kGuesser, index);
  Received answer;
  if (banned) {
    const std::string auth = rcon::EncodePacket({0, rcon::kAuth, stage.plan.password});
    co_await banned->Write(auth, kPatience);
    answer = co_await banned->Receive(kRefusalWithin);
  }
  if (banned && answer.outcome == Received::Outcome::kClosed) {
    ++stage.figures.guessers.as_expected;
  } else {
    Remember(stage, fmt::format("guesser {} was not banned", index));
  }
}

// Three ways to leave a packet half sent: stall before authenticating, stall
// in the middle of a command, or close the sending side.
asio::awaitable<void> HalfOpen(Stage& stage, int index) {
  ++stage.figures.half_open.clients;
  const auto connection = co_await Connected(stage, Kind::kHalfOpen, index);
  if (!connection) {
    co_return;
  }
  co_await stage.release.Wait();
  const std::string auth = rcon::EncodePacket({1, rcon::kAuth, stage.plan.password});
  const std::string command = rcon::EncodePacket({2, rcon::kExecCommand, kMix[0].text});
  const std::string_view half_auth = std::string_view(auth).substr(0, auth.size() / 2);
  const std::string_view half_command = std::string_view(command).substr(0, command.size() / 2);
  bool sent = false;
  switch (index % 3) {
    case 0:
      sent = co_await connection->Write(half_auth, kPatience);
      break;
    case 1:
      if (co_await Authenticate(*connection, stage.plan.password, 1) == 1) {
        sent = co_await connection->Write(half_command, kPatience);
      }
      break;
    default:
      sent = co_await connection->Write(half_auth, kPatience);
      connection->ShutdownSend();
      break;
  }
  if (!sent) {
    Remember(stage, fmt::format("half-open client {} could not send its half", index));
  }
  if (co_await connection->AwaitClose(kPatience)) {
    ++stage.figures.half_open.as_expected;
  }
}

std::string GarbageBytes(int index) {
  switch (index % 4) {
    case 0: {
      std::mt19937 random(static_cast<std::mt19937::result_type>(index));
      std::string bytes(256, '\0');
      for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFFU);
      }
      bytes[3] = '\x7f';  // a size field far above the largest packet
      return bytes;
    }
    case 1:
      return "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
    case 2: {
      // The largest size, then bytes without the closing NULs.
      std::string bytes = rcon::EncodePacket({1, rcon::kAuth, std::string(rcon::kMaxBody, 'x')});
      bytes[bytes.size() - 2] = 'x';
      bytes[bytes.size() - 1] = 'x';
      return bytes;
    }
    default:
      return rcon::EncodePacket({1, rcon::kExecCommand, kMix[0].text});  // before any auth
  }
}

asio::awaitable<void> Garbage(Stage& stage, int index) {
  ++stage.figures.garbage.clients;
  const auto connection = co_await Connected(stage, Kind::kGarbage, index);
  if (!connection) {
    co_return;
  }
  co_await stage.release.Wait();
  // The server may close before it has read everything; the write's outcome
  // does not matter, the close does.
  const std::string garbage = GarbageBytes(index);
  co_await connection->Write(garbage, kPatience);
  if (co_await connection->AwaitClose(kPatience)) {
    ++stage.figures.garbage.as_expected;
  }
}

asio::awaitable<void> OverCap(Stage& stage, int index) {
  ++stage.figures.over_cap.clients;
  const auto connection = co_await Connected(stage, Kind::kOverCap, index);
  if (!connection) {
    co_return;
  }
  if (co_await connection->AwaitClose(kRefusalWithin)) {
    ++stage.figures.over_cap.as_expected;
  }
}

asio::awaitable<void> CountedOut(Stage& stage, asio::awaitable<void> client) {
  co_await std::move(client);
  --stage.running;
}

// Counted in at once, before the coroutine first runs, so that whoever waits
// for `running` to reach 0 cannot see it there too early.
asio::awaitable<void> Counted(Stage& stage, asio::awaitable<void> (*body)(Stage&, int), int index) {
  ++stage.running;
  return CountedOut(stage, body(stage, index));
}

}  // namespace

asio::awaitable<void> Sleep(Clock::duration duration) {
  asio::steady_timer timer(co_await asio::this_coro::executor, duration);
  co_await timer.async_wait(asio::use_awaitable);
}

Gate::Gate(const asio::any_io_executor& executor) : timer_(executor, Clock::time_point::max()) {}

asio::awaitable<void> Gate::Wait() {
  if (!open_) {
    asio::error_code opened;
    co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, opened));
  }
}

void Gate::Open() {
  open_ = true;
  timer_.cancel();
}

asio::awaitable<void> WellBehavedClient(Stage& stage, int index) {
  return Counted(stage, &WellBehaved, index);
}
asio::awaitable<void> SlowClient(Stage& stage, int index) {
  return Counted(stage, &Slow, index);
}
asio::awaitable<void> WrongPasswordClient(Stage& stage, int index) {
  return Counted(stage, &WrongPassword, index);
}
asio::awaitable<void> HalfOpenClient(Stage& stage, int index) {
  return Counted(stage, &HalfOpen, index);
}
asio::awaitable<void> GarbageClient(Stage& stage, int index) {
  return Counted(stage, &Garbage, index);
}
asio::awaitable<void> OverCapClient(Stage& stage, int index) {
  return Counted(stage, &OverCap, index);
}
asio::awaitable<void> SquatterClient(Stage& stage, int index) {
  return Counted(stage, &Squatter, index);
}
asio::awaitable<void> GuesserClient(Stage& stage, int index) {
  return Counted(stage, &Guesser, index);
}

asio::awaitable<bool> ServesAFreshClient(Stage& stage) {
  const auto connection = co_await Connected(stage, Kind::kFresh, 0);
  if (!connection) {
    co_return false;
  }
  if (co_await Authenticate(*connection, stage.plan.password, 1) != 1) {
    co_return false;
  }
  co_return (co_await Exchange(stage, *connection, 2, kMix[0])).right;
}

}  // namespace rcon_load
