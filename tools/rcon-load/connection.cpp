#include "connection.h"

#include <utility>

namespace rcon_load {

namespace rcon = devserver::rcon;
using asio::ip::tcp;

std::shared_ptr<Connection> Connection::Make(const asio::any_io_executor& executor) {
  return std::make_shared<Connection>(executor);
}

Connection::Connection(const asio::any_io_executor& executor)
    : socket_(executor), deadline_(executor) {}

// Moving the expiry cancels the wait before; a handler already queued checks
// the expiry, so that a deadline moved on in the meantime does not fire.
void Connection::Arm(Clock::duration within) {
  timed_out_ = false;
  deadline_.expires_after(within);
  deadline_.async_wait([self = shared_from_this()](const asio::error_code& error) {
    if (!error && self->deadline_.expiry() <= Clock::now()) {
      self->timed_out_ = true;
      asio::error_code ignored;
      self->socket_.close(ignored);
    }
  });
}

void Connection::Disarm() {
  deadline_.expires_at(Clock::time_point::max());
}

asio::awaitable<bool> Connection::Connect(const tcp::endpoint& server,
                                          const asio::ip::address& from, Clock::duration within) {
  asio::error_code error;
  socket_.open(server.protocol(), error);
  if (!error) {
    socket_.bind({from, 0}, error);
  }
  if (error) {
    co_return false;
  }
  Arm(within);
  co_await socket_.async_connect(server, asio::redirect_error(asio::use_awaitable, error));
  Disarm();
  if (!error) {
    // Small packets go out at once, as an administration tool's do.
    socket_.set_option(tcp::no_delay(true), error);
  }
  co_return !error;
}

asio::awaitable<bool> Connection::Write(std::string_view bytes, Clock::duration within) {
  Arm(within);
  asio::error_code error;
  co_await asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()),
                             asio::redirect_error(asio::use_awaitable, error));
  Disarm();
  co_return !error;
}

asio::awaitable<Received> Connection::Receive(Clock::duration within) {
  Arm(within);
  while (true) {
    rcon::ParseResult parsed = rcon::ParsePacket(pending_);
    if (parsed.status == rcon::ParseResult::Status::kPacket) {
      pending_.erase(0, parsed.consumed);
      Disarm();
      co_return Received{Received::Outcome::kPacket, std::move(parsed.packet)};
    }
    if (parsed.status == rcon::ParseResult::Status::kMalformed) {
      Disarm();
      co_return Received{Received::Outcome::kMalformed, {}};
    }
    asio::error_code error;
    const std::size_t got = co_await socket_.async_read_some(
        asio::buffer(chunk_), asio::redirect_error(asio::use_awaitable, error));
    if (error) {
      Disarm();
      co_return Received{timed_out_ ? Received::Outcome::kTimedOut : Received::Outcome::kClosed,
                         {}};
    }
    pending_.append(chunk_.data(), got);
  }
}

asio::awaitable<bool> Connection::AwaitClose(Clock::duration within) {
  Arm(within);
  asio::error_code error;
  while (!error) {
    co_await socket_.async_read_some(asio::buffer(chunk_),
                                     asio::redirect_error(asio::use_awaitable, error));
  }
  Disarm();
  co_return !timed_out_;
}

void Connection::ShutdownSend() {
  asio::error_code ignored;
  socket_.shutdown(tcp::socket::shutdown_send, ignored);
}

}  // namespace rcon_load
