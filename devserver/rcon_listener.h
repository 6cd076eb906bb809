#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rcon_codec.h"

namespace devserver::rcon {

struct ListenerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 0;  // 0: a free port that the system picks
  std::string password;
  // Connections beyond this are closed as soon as they are accepted.
  std::size_t max_connections = 8;
  // Connections that have not authenticated yet, in all and from one
  // address. At either cap the oldest of them is closed to make room for the
  // new one, so that clients without the password never keep out one who
  // has it.
  std::size_t max_unauthenticated = 4;
  std::size_t max_unauthenticated_per_address = 2;
  // From connecting to a successful auth.
  std::chrono::milliseconds login_timeout{3'000};
  // Each wrong password closes its connection; this many from one address
  // within the window ban the address for the ban time.
  int max_failures = 5;
  std::chrono::milliseconds failure_window{30'000};
  std::chrono::milliseconds ban_time{600'000};
  // From the first byte of a packet to its last, and for a reply to be taken.
  std::chrono::milliseconds packet_timeout{10'000};
  // Between the empty answer to an auth and the auth response: some clients
  // take each read from the socket as exactly one packet, and would miss an
  // auth response that arrived in the same read as the empty answer.
  std::chrono::milliseconds auth_response_pause{100};
};

// A command from an authenticated client.
struct Request {
  std::string peer;  // the client's address and port
  std::int32_t id = 0;
  std::string body;
};

// Takes the replies to a request, in order; may be called from any thread,
// once. No reply at all is allowed: the client then hears nothing.
using Done = std::function<void(std::vector<Packet> replies)>;
// Called on the network thread for each request, one at a time per client.
using RunCommand = std::function<void(Request request, Done done)>;
// One line about a client (connected, authenticated, disconnected and why),
// on the network thread.
using Note = std::function<void(std::string line)>;

// A Source RCON endpoint with a network thread of its own. Each client is
// served one packet at a time: nothing more is read from it while its command
// runs or its reply is being written, so a connection never holds more than
// one packet. A client that breaks the protocol is disconnected; the others
// do not notice.
class Listener {
 public:
  // Listens at once; throws std::runtime_error when it cannot.
  Listener(ListenerOptions options, RunCommand run, Note note);
  // Disconnects every client and waits for the network thread to end.
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Where it listens, with the port the system picked for port 0.
  [[nodiscard]] const std::string& Address() const;
  [[nodiscard]] std::uint16_t Port() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace devserver::rcon
