#include "rcon_listener.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <asio.hpp>

#include "rcon_bans.h"

namespace devserver::rcon {
namespace {

using asio::ip::tcp;
using Clock = asio::steady_timer::clock_type;

class Session;

// What every session shares; touched on the network thread only.
struct Hub {
  explicit Hub(ListenerOptions wanted, RunCommand run_command, Note note_line)
      : options(std::move(wanted)),
        run(std::move(run_command)),
        note(std::move(note_line)),
        bans(options.max_failures, options.failure_window, options.ban_time) {}

  ListenerOptions options;
  RunCommand run;
  Note note;
  Bans bans;
  asio::io_context context;
  std::set<std::shared_ptr<Session>> sessions;
  std::uint64_t admitted = 0;  // numbers the sessions, oldest first
};

std::int64_t SecondsOf(Clock::duration duration) {
  return std::chrono::ceil<std::chrono::seconds>(duration).count();
}

std::string Describe(const tcp::endpoint& endpoint) {
  const auto address = endpoint.address();
  return address.is_v6() ? fmt::format("[{}]:{}", address.to_string(), endpoint.port())
                         : fmt::format("{}:{}", address.to_string(), endpoint.port());
}

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Hub& hub, tcp::socket socket, std::string peer, std::string address)
      : hub_(hub),
        socket_(std::move(socket)),
        peer_(std::move(peer)),
        address_(std::move(address)),
        serial_(++hub.admitted),
        deadline_(hub.context),
        pause_(hub.context) {}

  [[nodiscard]] bool Authenticated() const { return authenticated_; }
  [[nodiscard]] const std::string& Address() const { return address_; }
  [[nodiscard]] std::uint64_t Serial() const { return serial_; }

  void Start() {
    ArmLogin();
    WatchDeadline();
    Next();
  }

  // `why` ends up in the line about the disconnection.
  void Close(const std::string& why) {
    if (closed_) {
      return;
    }
    closed_ = true;
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    deadline_.cancel();
    pause_.cancel();
    hub_.note(fmt::format("rcon: {} disconnected: {}", peer_, why));
    hub_.sessions.erase(shared_from_this());
  }

 private:
  // Handles the next buffered packet, or reads on.
  void Next() {
    if (closed_) {
      return;
    }
    ParseResult parsed = ParsePacket(std::string_view(buffer_.data(), filled_));
    switch (parsed.status) {
      case ParseResult::Status::kMalformed:
        Close(parsed.error);
        return;
      case ParseResult::Status::kNeedMore:
        if (filled_ > 0 && !in_packet_) {
          in_packet_ = true;
          Arm(hub_.options.packet_timeout, "did not send the rest of a packet in time");
        } else if (filled_ == 0) {
          Disarm();
        }
        Read();
        return;
      case ParseResult::Status::kPacket:
        in_packet_ = false;
        filled_ -= parsed.consumed;
        std::memmove(buffer_.data(), buffer_.data() + parsed.consumed, filled_);
        Handle(std::move(parsed.packet));
        return;
    }
  }

  void Read() {
    socket_.async_read_some(
        asio::buffer(buffer_.data() + filled_, buffer_.size() - filled_),
        [self = shared_from_this()](const asio::error_code& error, std::size_t bytes) {
          if (self->closed_) {
            return;
          }
          if (error) {
            self->Close(error == asio::error::eof
                            ? (self->filled_ > 0 ? "the client left in the middle of a packet"
                                                 : "the client left")
                            : error.message());
            return;
          }
          self->filled_ += bytes;
          self->Next();
        });
  }

  void Handle(Packet packet) {
    if (packet.type == kAuth) {
      Authenticate(packet);
    } else if (!authenticated_) {
      // As game servers do: no answer, so that a client without the password
      // learns nothing, and no waiting either.
      Close("sent a command before authenticating");
    } else if (packet.type == kResponseValue) {
      // A client marks the end of a long answer this way; every answer before
      // it has gone out already, since a client is served in order.
      Write(EncodeReply({packet.id, kResponseValue, ""}), [this] { Next(); });
    } else if (packet.type == kExecCommand) {
      RunOnGame(std::move(packet));
    } else {
      Close(fmt::format("sent a packet of type {}", packet.type));
    }
  }

  // Both packets of the answer carry the request's id for the right
  // password and -1 for a wrong one, so that a client that takes the first
  // packet as the answer reads it right too. A wrong password ends the
  // connection, and enough of them from one address ban it.
  void Authenticate(const Packet& packet) {
    const bool right = packet.body == hub_.options.password;
    const std::int32_t answer_id = right ? packet.id : -1;
    if (right) {
      authenticated_ = true;
      hub_.note(fmt::format("rcon: {} authenticated", peer_));
    } else {
      authenticated_ = false;
      hub_.note(fmt::format("rcon: {} gave a wrong password", peer_));
      if (hub_.bans.Fail(address_, Clock::now())) {
        Ban();
      }
    }
    Write(EncodeReply({answer_id, kResponseValue, ""}), [this, answer_id] {
      pause_.expires_after(hub_.options.auth_response_pause);
      pause_.async_wait([self = shared_from_this(), answer_id](const asio::error_code& error) {
        if (error || self->closed_) {
          return;
        }
        self->Write(EncodeReply({answer_id, kAuthResponse, ""}), [self] {
          if (self->authenticated_) {
            self->Next();
          } else {
            self->Close("wrong password");
          }
        });
      });
    });
  }

  // The address's other connections without the password go at once; this
  // one still hears its answer.
  void Ban() {
    hub_.note(fmt::format("rcon: {} banned for {} s after {} wrong passwords", address_,
                          SecondsOf(hub_.options.ban_time), hub_.options.max_failures));
    std::vector<std::shared_ptr<Session>> others;
    for (const auto& session : hub_.sessions) {
      if (session.get() != this && !session->authenticated_ && session->address_ == address_) {
        others.push_back(session);
      }
    }
    for (const auto& session : others) {
      session->Close("its address is banned");
    }
  }

  void RunOnGame(Packet packet) {
    // No deadline while the game works: a recount of a large world may take a while.
    Disarm();
    Done done = [weak = weak_from_this(),
                 executor = hub_.context.get_executor()](std::vector<Packet> replies) {
      asio::post(executor, [weak, replies = std::move(replies)] {
        if (const auto self = weak.lock()) {
          self->Answer(replies);
        }
      });
    };
    hub_.run({peer_, packet.id, std::move(packet.body)}, std::move(done));
  }

  void Answer(const std::vector<Packet>& replies) {
    if (closed_) {
      return;
    }
    std::string bytes;
    for (const auto& reply : replies) {
      bytes += EncodeReply(reply);
    }
    Write(std::move(bytes), [this] { Next(); });
  }

  // `then` runs once all of `bytes` are sent, unless the session closed.
  void Write(std::string bytes, std::function<void()> then) {
    if (bytes.empty()) {
      then();
      return;
    }
    Arm(hub_.options.packet_timeout, "did not take its reply in time");
    auto data = std::make_shared<std::string>(std::move(bytes));
    asio::async_write(socket_, asio::buffer(*data),
                      [self = shared_from_this(), data, then = std::move(then)](
                          const asio::error_code& error, std::size_t /*bytes*/) {
                        if (self->closed_) {
                          return;
                        }
                        if (error) {
                          self->Close(error.message());
                          return;
                        }
                        then();
                      });
  }

  // One deadline at a time. Until a client has authenticated, the login
  // deadline stands whatever it does; after that each stage sets its own.
  void ArmLogin() {
    deadline_what_ = "did not authenticate in time";
    deadline_.expires_after(hub_.options.login_timeout);
  }
  void Arm(std::chrono::milliseconds within, const char* what) {
    if (authenticated_) {
      deadline_what_ = what;
      deadline_.expires_after(within);
    }
  }
  void Disarm() {
    if (authenticated_) {
      deadline_.expires_at(Clock::time_point::max());
    }
  }

  // Re-arming moves the expiry without a new wait; the wait checks the
  // expiry, since a handler that is already queued cannot be cancelled.
  void WatchDeadline() {
    deadline_.async_wait([self = shared_from_this()](const asio::error_code& /*error*/) {
      if (self->closed_) {
        return;
      }
      if (self->deadline_.expiry() <= Clock::now()) {
        self->Close(self->deadline_what_);
        return;
      }
      self->WatchDeadline();
    });
  }

  Hub& hub_;
  tcp::socket socket_;
  std::string peer_;
  std::string address_;  // without the port: what caps and bans go by
  std::uint64_t serial_;
  asio::steady_timer deadline_;
  const char* deadline_what_ = "";
  asio::steady_timer pause_;
  std::array<char, kMaxPacketBytes> buffer_{};
  std::size_t filled_ = 0;
  bool in_packet_ = false;
  bool authenticated_ = false;
  bool closed_ = false;
};

}  // namespace

class Listener::Impl {
 public:
  Impl(ListenerOptions options, RunCommand run, Note note)
      : hub_(std::move(options), std::move(run), std::move(note)),
        acceptor_(hub_.context),
        retry_(hub_.context) {
    try {
      const tcp::endpoint wanted(asio::ip::make_address(hub_.options.address), hub_.options.port);
      acceptor_.open(wanted.protocol());
      acceptor_.set_option(tcp::acceptor::reuse_address(true));
      acceptor_.bind(wanted);
      acceptor_.listen();
      const tcp::endpoint bound = acceptor_.local_endpoint();
      address_ = bound.address().to_string();
      port_ = bound.port();
    } catch (const asio::system_error& e) {
      throw std::runtime_error(fmt::format("rcon: cannot listen on {} port {}: {}",
                                           hub_.options.address, hub_.options.port,
                                           e.code().message()));
    }
    Accept();
    thread_ = std::thread([this] { hub_.context.run(); });
  }

  ~Impl() {
    asio::post(hub_.context, [this] {
      asio::error_code ignored;
      acceptor_.close(ignored);
      retry_.cancel();
      const auto open = std::move(hub_.sessions);
      for (const auto& session : open) {
        session->Close("the server is shutting down");
      }
    });
    thread_.join();
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  [[nodiscard]] const std::string& Address() const { return address_; }
  [[nodiscard]] std::uint16_t Port() const { return port_; }

 private:
  void Accept() {
    acceptor_.async_accept([this](const asio::error_code& error, tcp::socket socket) {
      if (error == asio::error::operation_aborted) {
        return;
      }
      if (error) {
        // Out of descriptors, say: try again in a moment rather than spin.
        hub_.note(fmt::format("rcon: accepting a connection failed: {}", error.message()));
        retry_.expires_after(std::chrono::milliseconds(100));
        retry_.async_wait([this](const asio::error_code& stopped) {
          if (!stopped) {
            Accept();
          }
        });
        return;
      }
      Admit(std::move(socket));
      Accept();
    });
  }

  void Admit(tcp::socket socket) {
    asio::error_code unknown;
    const auto remote = socket.remote_endpoint(unknown);
    const std::string peer = unknown ? "a client" : Describe(remote);
    const std::string address = unknown ? "" : remote.address().to_string();
    if (const auto banned = hub_.bans.Remaining(address, Clock::now()); banned.count() > 0) {
      hub_.note(fmt::format("rcon: {} refused: its address is banned for {} s more", peer,
                            SecondsOf(banned)));
      socket.close(unknown);
      return;
    }
    MakeRoom(address);
    if (hub_.sessions.size() >= hub_.options.max_connections) {
      hub_.note(fmt::format("rcon: {} refused: {} connections are open already", peer,
                            hub_.sessions.size()));
      socket.close(unknown);
      return;
    }
    // Each write is whole packets, and a client that marks the end of an
    // answer waits for the marker's reply, which would otherwise sit behind
    // the answer until the client's delayed acknowledgement: 40 ms a command.
    socket.set_option(tcp::no_delay(true), unknown);
    auto session = std::make_shared<Session>(hub_, std::move(socket), peer, address);
    hub_.sessions.insert(session);
    hub_.note(fmt::format("rcon: {} connected", peer));
    session->Start();
  }

  // Connections without the password hold their places only until a newer
  // one needs them: the oldest from the same address, then the oldest of all.
  void MakeRoom(const std::string& address) {
    const auto oldest = [this](const std::string* from) {
      std::shared_ptr<Session> found;
      std::size_t count = 0;
      for (const auto& session : hub_.sessions) {
        if (session->Authenticated() || (from != nullptr && session->Address() != *from)) {
          continue;
        }
        ++count;
        if (!found || session->Serial() < found->Serial()) {
          found = session;
        }
      }
      return std::pair{found, count};
    };
    if (const auto [found, count] = oldest(&address);
        found && count >= hub_.options.max_unauthenticated_per_address) {
      found->Close("made room for a newer connection from its address");
    }
    const std::size_t cap =
        std::min(hub_.options.max_unauthenticated, hub_.options.max_connections);
    if (const auto [found, count] = oldest(nullptr); found && count >= cap) {
      found->Close("made room for a newer connection");
    }
  }

  Hub hub_;
  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
  std::string address_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

Listener::Listener(ListenerOptions options, RunCommand run, Note note)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(run), std::move(note))) {}

Listener::~Listener() = default;

const std::string& Listener::Address() const {
  return impl_->Address();
}

std::uint16_t Listener::Port() const {
  return impl_->Port();
}

}  // namespace devserver::rcon
