#include "clients.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "client_steps.h"

namespace rcon_load {
namespace {

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
