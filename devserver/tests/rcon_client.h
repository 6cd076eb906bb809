#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "rcon_codec.h"
#include "rcon_packet_print.h"

namespace devserver::testing {

struct Received {
  enum class Outcome { kPacket, kClosed, kTimedOut };
  Outcome outcome = Outcome::kTimedOut;
  rcon::Packet packet;
};

// A plain RCON client for tests. Every read has a deadline, so that a server
// that never answers fails a test instead of hanging it.
class RconClient {
 public:
  // `from` picks the client's own address (any of 127.0.0.0/8 reaches the
  // server's 127.0.0.1), so that one test can be several machines.
  explicit RconClient(std::uint16_t port, const std::string& address = "127.0.0.1",
                      const std::string& from = "")
      : socket_(context_) {
    if (!from.empty()) {
      socket_.open(asio::ip::tcp::v4());
      socket_.bind({asio::ip::make_address(from), 0});
    }
    socket_.connect({asio::ip::make_address(address), port});
  }

  void SendBytes(std::string_view bytes) {
    asio::write(socket_, asio::buffer(bytes.data(), bytes.size()));
  }
  void Send(std::int32_t id, std::int32_t type, std::string_view body) {
    SendBytes(rcon::EncodePacket({id, type, std::string(body)}));
  }

  Received Receive(std::chrono::milliseconds within = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (true) {
      rcon::ParseResult parsed = rcon::ParsePacket(pending_);
      if (parsed.status == rcon::ParseResult::Status::kPacket) {
        pending_.erase(0, parsed.consumed);
        return {Received::Outcome::kPacket, std::move(parsed.packet)};
      }
      if (parsed.status == rcon::ParseResult::Status::kMalformed) {
        throw std::runtime_error("the server sent a malformed packet: " + parsed.error);
      }
      std::array<char, 4096> chunk{};
      asio::error_code error;
      std::size_t got = 0;
      bool done = false;
      socket_.async_read_some(asio::buffer(chunk), [&](const asio::error_code& e, std::size_t n) {
        error = e;
        got = n;
        done = true;
      });
      context_.restart();
      context_.run_until(deadline);
      if (!done) {
        socket_.cancel();
        context_.restart();
        context_.run();
        return {};
      }
      if (error) {
        return {Received::Outcome::kClosed, {}};
      }
      pending_.append(chunk.data(), got);
    }
  }

  // The next packet, which the caller expects to be there.
  rcon::Packet Next() {
    Received received = Receive();
    if (received.outcome != Received::Outcome::kPacket) {
      throw std::runtime_error(received.outcome == Received::Outcome::kClosed
                                   ? "the server closed the connection"
                                   : "the server sent nothing");
    }
    return received.packet;
  }

  // The whole exchange: the empty answer, then the auth response, both with
  // the id answered (`id` on success, -1 on a wrong password).
  std::int32_t Authenticate(std::string_view password, std::int32_t id = 1) {
    Send(id, rcon::kAuth, password);
    const rcon::Packet empty = Next();
    if (empty.type != rcon::kResponseValue || !empty.body.empty()) {
      throw std::runtime_error("no empty answer before the auth response");
    }
    const rcon::Packet response = Next();
    if (response.type != rcon::kAuthResponse || !response.body.empty()) {
      throw std::runtime_error("no auth response");
    }
    if (empty.id != response.id || (response.id != id && response.id != -1)) {
      throw std::runtime_error("the two packets of the auth answer disagree");
    }
    return response.id;
  }

  bool ClosedByServer(std::chrono::milliseconds within = std::chrono::seconds(10)) {
    return Receive(within).outcome == Received::Outcome::kClosed;
  }

 private:
  asio::io_context context_;
  asio::ip::tcp::socket socket_;
  std::string pending_;
};

}  // namespace devserver::testing
