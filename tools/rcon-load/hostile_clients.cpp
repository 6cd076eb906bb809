// The hostile clients, and the one that comes when every place is taken:
// each must be dropped, refused, held to its places or banned.
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "client_steps.h"
#include "clients.h"

namespace rcon_load {
namespace {

namespace rcon = devserver::rcon;

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

}  // namespace

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

}  // namespace rcon_load
