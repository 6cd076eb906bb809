#include "client_steps.h"

#include <utility>
#include <vector>

#include <fmt/format.h>

namespace rcon_load {
namespace {

namespace rcon = devserver::rcon;
using rcon::Packet;

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

asio::awaitable<void> CountedOut(Stage& stage, asio::awaitable<void> client) {
  co_await std::move(client);
  --stage.running;
}

}  // namespace

void Remember(Stage& stage, std::string what) {
  constexpr std::size_t kKept = 10;
  if (stage.figures.surprises.size() < kKept) {
    stage.figures.surprises.push_back(std::move(what));
  }
}

asio::awaitable<std::optional<std::int32_t>> Authenticate(Connection& connection,
                                                          const std::string& password,
                                                          std::int32_t id,
                                                          std::optional<Clock::duration> slowly) {
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

asio::awaitable<Exchanged> Exchange(Stage& stage, Connection& connection, std::int32_t id,
                                    const Command& command, std::optional<Clock::duration> slowly) {
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

asio::awaitable<void> Counted(Stage& stage, asio::awaitable<void> (*body)(Stage&, int), int index) {
  ++stage.running;
  return CountedOut(stage, body(stage, index));
}

}  // namespace rcon_load
