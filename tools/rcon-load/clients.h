#pragma once

#include <chrono>
#include <string>

#include <asio.hpp>

#include "connection.h"
#include "figures.h"

namespace rcon_load {

// How long a step may take before the client gives up on it: far beyond any
// answer of a healthy server, even one built with sanitizers.
inline constexpr Clock::duration kPatience = std::chrono::seconds(30);

asio::awaitable<void> Sleep(Clock::duration duration);

// Polls `ready`; false when it did not hold within the time. Takes the
// predicate by value: a temporary with a destructor inside a co_await
// expression is miscompiled by GCC 12.
template <typename Ready>
asio::awaitable<bool> WaitUntil(Ready ready, Clock::duration within) {
  const auto deadline = Clock::now() + within;
  while (!ready()) {
    if (Clock::now() >= deadline) {
      co_return false;
    }
    co_await Sleep(std::chrono::milliseconds(5));
  }
  co_return true;
}

// Holds coroutines until it opens.
class Gate {
 public:
  explicit Gate(const asio::any_io_executor& executor);
  asio::awaitable<void> Wait();
  void Open();

 private:
  asio::steady_timer timer_;
  bool open_ = false;
};

// What the clients share: where the server is, the plan, the figures they
// add to, and the gate they wait at once connected.
struct Stage {
  asio::ip::tcp::endpoint server;
  const Plan& plan;
  Figures& figures;
  Gate& release;
  int running = 0;  // clients not yet done
  // When the last well-behaved client had its last answer.
  Clock::time_point commands_done{};
};

// Each kind of client, as one coroutine that adds itself to the figures and
// counts itself out of `running` when done. `index` picks a variant.
asio::awaitable<void> WellBehavedClient(Stage& stage, int index);
asio::awaitable<void> SlowClient(Stage& stage, int index);
asio::awaitable<void> WrongPasswordClient(Stage& stage, int index);
asio::awaitable<void> HalfOpenClient(Stage& stage, int index);
asio::awaitable<void> GarbageClient(Stage& stage, int index);
asio::awaitable<void> SquatterClient(Stage& stage, int index);
asio::awaitable<void> GuesserClient(Stage& stage, int index);
// Connects while every place is taken; does not wait at the gate.
asio::awaitable<void> OverCapClient(Stage& stage, int index);

// Whether a client that comes now is served: auth, one command, its answer.
asio::awaitable<bool> ServesAFreshClient(Stage& stage);

}  // namespace rcon_load
