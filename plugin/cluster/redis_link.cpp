#include "cluster/redis_link.h"

#include <exception>
#include <utility>

#include "host/logger.h"

namespace cairnward {

RedisLink::RedisLink(ClusterSettings settings) : settings_(std::move(settings)) {}

RedisLink::~RedisLink() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (reconnector_.joinable()) {
    reconnector_.join();
  }
}

void RedisLink::Start() {
  try {
    connection_.emplace(settings_, &longest_wait_);
    connection_->RecordRoundTripsIn(&record_);
    record_.MarkUp();
    Log().info("Cluster: connected to Redis at {}:{} as server \"{}\" of \"{}\"", settings_.host,
               settings_.port, settings_.server, settings_.name);
  } catch (const LinkDown& e) {
    Fail(e.what());
  }
  reconnector_ = std::thread([this] { Reconnect(); });
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

void RedisLink::Reconnect() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, settings_.retry, [&] { return stopping_; });
    if (stopping_ || !wanted_ || ready_) {
      continue;
    }
    lock.unlock();
    std::optional<RedisConnection> made;
    try {
      made.emplace(settings_);
    } catch (const std::exception&) {
      // Said once when the link went down; tried again at the next interval.
      // Nothing may leave the thread.
    }
    lock.lock();
    if (made) {
      ready_ = std::move(made);
      ready_flag_.store(true, std::memory_order_release);
    }
  }
}

bool RedisLink::TakeOverReady() {
  if (connection_ || !ready_flag_.load(std::memory_order_acquire)) {
    return false;
  }
  std::optional<RedisConnection> made;
  {
    const std::lock_guard lock(mutex_);
    made = std::exchange(ready_, std::nullopt);
    ready_flag_.store(false, std::memory_order_relaxed);
    wanted_ = false;
  }
  if (!made) {
    return false;
  }
  Adopt(std::move(*made));
  return connection_.has_value();
}

void RedisLink::Adopt(RedisConnection connection) {
  connection_ = std::move(connection);
  connection_->RecordWaitsIn(&longest_wait_);
  connection_->RecordRoundTripsIn(&record_);
  record_.MarkUp();
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
