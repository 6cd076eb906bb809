#include "cluster/redis_link.h"

#include <fmt/format.h>

#include <exception>
#include <utility>

#include "cluster/backoff.h"
#include "cluster/script_calls.h"
#include "host/logger.h"

namespace cairnward {
namespace {

// Why the link is down while another instance holds this server's lease.
constexpr std::string_view kNameHeld = "this server's name is held by another running instance";

}  // namespace

RedisLink::RedisLink(ClusterSettings settings, const KeyNames& keys, std::function<void()> on_lost)
    : settings_(std::move(settings)),
      keys_(keys),
      lease_(keys, settings_.lease),
      on_lost_(std::move(on_lost)) {}

RedisLink::~RedisLink() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  ReleaseLease();
}

void RedisLink::ReleaseLease() {
  if (!connection_) {
    return;
  }
  try {
    connection_->SetDeadline(std::nullopt);
    lease_.Release(*connection_);
  } catch (const LinkDown&) {
    // It expires on its own after "LeaseMs".
  }
}

void RedisLink::Start() {
  try {
    connection_.emplace(settings_, settings_.timeout, &longest_wait_);
    bool lost = false;
    if (HoldLease(*connection_, lost)) {
      connection_->RecordRoundTripsIn(&record_);
      record_.MarkUp();
      Log().info("Cluster: connected to Redis at {}:{} as server \"{}\" of \"{}\"", settings_.host,
                 settings_.port, settings_.server, settings_.name);
      const Reply servers = connection_->Run(Command{"SMEMBERS", keys_.Servers()});
      std::size_t others = 0;
      for (std::size_t i = 0; i < servers->elements; ++i) {
        const redisReply& member = *servers->element[i];
        others += std::string_view(member.str, member.len) != keys_.Server() ? 1 : 0;
      }
      // A lone grid shows here: a typo in "Name" forms a cluster of its own.
      Log().info("Cluster: \"{}\" lists {} other grid{}", settings_.name, others,
                 others == 1 ? "" : "s");
    } else {
      connection_.reset();
      record_.MarkDown(std::string(kNameHeld));
      wanted_ = true;
      Poll();
    }
  } catch (const LinkDown& e) {
    Fail(e.what());
  }
  thread_ = std::thread([this] { Serve(); });
}

void RedisLink::Fail(const std::string& reason) {
  const bool was_up = connection_.has_value() || !wanted_;
  connection_.reset();
  record_.MarkDown(reason);
  {
    const std::lock_guard lock(mutex_);
    if (was_up) {
      Log().warn(
          "Cluster: Redis at {}:{} cannot be used ({}); every check counts this server's world "
          "alone until it is back",
          settings_.host, settings_.port, reason);
    }
    wanted_ = true;
  }
  wake_.notify_all();
}

void RedisLink::SetDeadline(std::optional<RedisConnection::Clock::time_point> deadline) {
  deadline_ = deadline;
  if (connection_) {
    connection_->SetDeadline(deadline);
  }
}

void RedisLink::Serve() {
  Backoff backoff(settings_.retry);
  std::chrono::milliseconds next_try = settings_.retry;
  std::optional<RedisConnection> beat;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, wanted_ ? next_try : settings_.heartbeat, [&] { return stopping_; });
    if (stopping_) {
      break;
    }
    if (!wanted_) {
      lock.unlock();
      Beat(beat);
      lock.lock();
      continue;
    }
    beat.reset();
    if (ready_ || refused_) {
      continue;  // for the game thread to take
    }
    lock.unlock();
    const bool made = TryConnect();
    lock.lock();
    if (made) {
      backoff.Reset();
    }
    next_try = made ? settings_.retry : backoff.Next();
  }
}

bool RedisLink::TryConnect() {
  // Nothing may leave the thread: a failure of any kind is tried again
  // later, and was said once when the link went down.
  try {
    RedisConnection made(settings_, settings_.background_timeout);
    bool lost = false;
    if (!HoldLease(made, lost)) {
      return false;
    }
    const std::lock_guard lock(mutex_);
    ready_ = std::move(made);
    news_.store(true, std::memory_order_release);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RedisLink::Beat(std::optional<RedisConnection>& beat) {
  try {
    if (!beat) {
      beat.emplace(settings_, settings_.background_timeout);
    }
    bool lost = false;
    if (!HoldLease(*beat, lost)) {
      const std::lock_guard lock(mutex_);
      refused_ = true;
      news_.store(true, std::memory_order_release);
    } else if (lost) {
      on_lost_();
    }
  } catch (const std::exception&) {
    // Connected again at the next beat. A Redis that is away takes the link
    // down at the game thread's next call, not here: a slow beat is no
    // reason to count locally.
    beat.reset();
  }
}

bool RedisLink::HoldLease(RedisConnection& connection, bool& lost) {
  const std::vector<Reply> replies =
      connection.Run(std::vector<Command>{lease_.RenewCall(), MoveSequenceCall(keys_)});
  const Lease::Hold hold = lease_.Renewed(connection, *replies[0]);
  lost = hold.outcome == Lease::Outcome::kTaken;
  const std::lock_guard lock(mutex_);
  if (hold.outcome != Lease::Outcome::kRefused) {
    move_sequence_.store(MoveSequenceIn(*replies[1]), std::memory_order_relaxed);
    refused_by_.clear();
    return true;
  }
  if (refused_by_ != hold.holder) {
    refused_by_ = hold.holder;
    errors_.push_back(fmt::format(
        "Cluster: server name \"{}\" of \"{}\" is held by another running instance ({}); this "
        "server counts its own world alone until that lease expires",
        settings_.server, settings_.name, hold.holder));
    news_.store(true, std::memory_order_release);
  }
  return false;
}

bool RedisLink::Poll() {
  if (!news_.load(std::memory_order_acquire)) {
    return false;
  }
  std::optional<RedisConnection> made;
  std::vector<std::string> errors;
  bool refused = false;
  {
    const std::lock_guard lock(mutex_);
    made = std::exchange(ready_, std::nullopt);
    refused = std::exchange(refused_, false);
    errors.swap(errors_);
    news_.store(false, std::memory_order_relaxed);
    if (made) {
      wanted_ = false;
    } else if (refused) {
      wanted_ = true;
    }
  }
  for (const std::string& error : errors) {
    Log().error("{}", error);
  }
  if (refused) {
    connection_.reset();
    record_.MarkDown(std::string(kNameHeld));
    wake_.notify_all();
  }
  if (!made) {
    return false;
  }
  Adopt(std::move(*made));
  return true;
}

void RedisLink::Adopt(RedisConnection connection) {
  connection_ = std::move(connection);
  connection_->RecordWaitsIn(&longest_wait_);
  connection_->RecordRoundTripsIn(&record_);
  record_.MarkUp();
  connection_->UseTimeout(settings_.timeout);
  connection_->SetDeadline(deadline_);
  Log().warn("Cluster: Redis at {}:{} is back; this server's counts are published again",
             settings_.host, settings_.port);
}

template <typename Call>
auto RedisLink::Use(Call call) {
  if (!connection_) {
    throw LinkDown("the link is down");
  }
  try {
    return call(*connection_);
  } catch (const LinkDown& e) {
    Fail(e.what());
    throw;
  }
}

std::vector<Reply> RedisLink::Run(std::span<const Command> commands) {
  return Use([&](RedisConnection& connection) { return connection.Run(commands); });
}

Reply RedisLink::Run(const Command& command) {
  return Use([&](RedisConnection& connection) { return connection.Run(command); });
}

std::vector<Reply> RedisLink::RunScripts(Script script, std::span<const Command> keys_and_args) {
  return Use(
      [&](RedisConnection& connection) { return connection.RunScripts(script, keys_and_args); });
}

Reply RedisLink::RunScript(Script script, const Command& keys_and_args) {
  return Use(
      [&](RedisConnection& connection) { return connection.RunScript(script, keys_and_args); });
}

}  // namespace cairnward
