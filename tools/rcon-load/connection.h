#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "rcon_codec.h"

namespace rcon_load {

using Clock = std::chrono::steady_clock;

struct Received {
  enum class Outcome { kPacket, kClosed, kTimedOut, kMalformed };
  Outcome outcome = Outcome::kClosed;
  devserver::rcon::Packet packet;
};

// One client's TCP connection with a deadline on every step, so that a
// server that never answers ends the step instead of the run. Shared, since
// the deadline's handler may outlast the coroutine that used it.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  static std::shared_ptr<Connection> Make(const asio::any_io_executor& executor);
  explicit Connection(const asio::any_io_executor& executor);

  // From the address `from`, so that one machine can be many clients.
  asio::awaitable<bool> Connect(const asio::ip::tcp::endpoint& server,
                                const asio::ip::address& from, Clock::duration within);
  asio::awaitable<bool> Write(std::string_view bytes, Clock::duration within);
  asio::awaitable<Received> Receive(Clock::duration within);
  // Whether the server closes the connection within the time; whatever it
  // sends before is skipped.
  asio::awaitable<bool> AwaitClose(Clock::duration within);
  // Ends this side's sending: the server reads an end of stream.
  void ShutdownSend();

 private:
  void Arm(Clock::duration within);
  void Disarm();

  asio::ip::tcp::socket socket_;
  asio::steady_timer deadline_;
  bool timed_out_ = false;
  std::string pending_;
  std::array<char, 4096> chunk_{};
};

}  // namespace rcon_load
