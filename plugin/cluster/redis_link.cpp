#include "cluster/redis_link.h"

#include <sys/time.h>

#include <cstring>
#include <utility>

#include "host/logger.h"

namespace cairnward {
namespace {

using Clock = std::chrono::steady_clock;

timeval AsTimeval(std::chrono::milliseconds duration) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  return timeval{
      static_cast<time_t>(seconds.count()),
      static_cast<suseconds_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(duration - seconds).count())};
}

// The argument vector hiredis takes, pointing into the command.
struct Arguments {
  explicit Arguments(const Command& command) {
    pointers.reserve(command.size());
    lengths.reserve(command.size());
    for (const std::string& argument : command) {
      pointers.push_back(argument.data());
      lengths.push_back(argument.size());
    }
  }
  std::vector<const char*> pointers;
  std::vector<std::size_t> lengths;
};

std::string ErrorText(const redisReply& reply) {
  return std::string(reply.str, reply.len);
}

bool IsNoScript(const redisReply& reply) {
  return reply.type == REDIS_REPLY_ERROR && ErrorText(reply).rfind("NOSCRIPT", 0) == 0;
}

}  // namespace

RedisLink::RedisLink(ClusterSettings settings, std::function<void()> on_back)
    : settings_(std::move(settings)), on_back_(std::move(on_back)) {}

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

RedisLink::Connection RedisLink::Connect(const ClusterSettings& settings) {
  const timeval timeout = AsTimeval(settings.timeout);
  Connection made;
  made.context.reset(redisConnectWithTimeout(settings.host.c_str(), settings.port, timeout));
  if (made.context == nullptr) {
    throw LinkDown("out of memory");
  }
  redisContext* context = made.context.get();
  if (context->err != 0) {
    throw LinkDown(context->errstr);
  }
  if (redisSetTimeout(context, timeout) != REDIS_OK) {
    throw LinkDown("cannot set the timeout");
  }
  redisEnableKeepAlive(context);
  const auto call = [&](const Command& command) {
    Arguments args(command);
    Reply reply(static_cast<redisReply*>(redisCommandArgv(
        context, static_cast<int>(command.size()), args.pointers.data(), args.lengths.data())));
    if (reply == nullptr) {
      throw LinkDown(context->errstr);
    }
    if (reply->type == REDIS_REPLY_ERROR) {
      throw LinkDown(fmt::format("{} refused: {}", command.front(), ErrorText(*reply)));
    }
    return reply;
  };
  if (!settings.password.empty()) {
    call({"AUTH", settings.password});
  }
  if (settings.database != 0) {
    call({"SELECT", std::to_string(settings.database)});
  }
  for (std::size_t i = 0; i < kScriptCount; ++i) {
    const Reply sha = call({"SCRIPT", "LOAD", std::string(ScriptSource(static_cast<Script>(i)))});
    made.shas[i].assign(sha->str, sha->len);
  }
  return made;
}

void RedisLink::Start() {
  const auto started = Clock::now();
  try {
    connection_ = Connect(settings_);
    Log().info("Cluster: connected to Redis at {}:{} as server \"{}\" of \"{}\"", settings_.host,
               settings_.port, settings_.server, settings_.name);
  } catch (const LinkDown& e) {
    longest_wait_ = std::max(longest_wait_, Clock::now() - started);
    Fail(e.what());
  }
  reconnector_ = std::thread([this] { Reconnect(); });
}

void RedisLink::Fail(const std::string& reason) {
  const bool was_up = connection_.has_value() || !wanted_;
  connection_.reset();
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
    std::optional<Connection> made;
    try {
      made = Connect(settings_);
    } catch (const LinkDown&) {
      // Said once when the link went down; tried again at the next interval.
    }
    lock.lock();
    if (made) {
      ready_ = std::move(made);
      ready_flag_.store(true, std::memory_order_release);
    }
  }
}

bool RedisLink::Up() {
  if (connection_) {
    return true;
  }
  if (!ready_flag_.load(std::memory_order_acquire)) {
    return false;
  }
  std::optional<Connection> made;
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

void RedisLink::Adopt(Connection connection) {
  connection_ = std::move(connection);
  Log().warn("Cluster: Redis at {}:{} is back; this server's counts are published again",
             settings_.host, settings_.port);
  try {
    on_back_();
  } catch (const LinkDown&) {
    // The link went down again, and said so.
  }
}

std::vector<Reply> RedisLink::Exchange(std::span<const Command> commands) {
  if (!connection_) {
    throw LinkDown("the link is down");
  }
  redisContext* context = connection_->context.get();
  for (const Command& command : commands) {
    Arguments args(command);
    if (redisAppendCommandArgv(context, static_cast<int>(command.size()), args.pointers.data(),
                               args.lengths.data()) != REDIS_OK) {
      const std::string reason = context->errstr;
      Fail(reason);
      throw LinkDown(reason);
    }
  }
  std::vector<Reply> replies;
  replies.reserve(commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    void* raw = nullptr;
    const auto asked = Clock::now();
    const int status = redisGetReply(context, &raw);
    longest_wait_ = std::max(longest_wait_, Clock::now() - asked);
    if (status != REDIS_OK || raw == nullptr) {
      const std::string reason = context->err == REDIS_ERR_IO && context->errstr[0] == '\0'
                                     ? std::strerror(errno)
                                     : context->errstr;
      Fail(reason);
      throw LinkDown(reason);
    }
    replies.emplace_back(static_cast<redisReply*>(raw));
  }
  return replies;
}

std::vector<Reply> RedisLink::Run(std::span<const Command> commands) {
  std::vector<Reply> replies = Exchange(commands);
  for (const Reply& reply : replies) {
    if (reply->type == REDIS_REPLY_ERROR) {
      const std::string reason = "Redis answered " + ErrorText(*reply);
      Fail(reason);
      throw LinkDown(reason);
    }
  }
  return replies;
}

Reply RedisLink::Run(const Command& command) {
  return std::move(Run(std::span<const Command>(&command, 1)).front());
}

std::vector<Reply> RedisLink::RunScripts(Script script, std::span<const Command> keys_and_args) {
  const auto index = static_cast<std::size_t>(script);
  const auto evalsha = [&](const Command& rest) {
    Command command{"EVALSHA", connection_ ? connection_->shas[index] : std::string()};
    command.insert(command.end(), rest.begin(), rest.end());
    return command;
  };
  std::vector<Command> commands;
  commands.reserve(keys_and_args.size());
  for (const Command& rest : keys_and_args) {
    commands.push_back(evalsha(rest));
  }
  std::vector<Reply> replies = Exchange(commands);
  for (std::size_t i = 0; i < replies.size(); ++i) {
    // A Redis that restarted has forgotten the script: sent whole, it is
    // kept again. Every script may run again without harm, as none ran.
    if (IsNoScript(*replies[i])) {
      Command command{"EVAL", std::string(ScriptSource(script))};
      command.insert(command.end(), keys_and_args[i].begin(), keys_and_args[i].end());
      replies[i] = std::move(Exchange(std::span<const Command>(&command, 1)).front());
    }
    if (replies[i]->type == REDIS_REPLY_ERROR) {
      const std::string reason = "Redis answered " + ErrorText(*replies[i]);
      Fail(reason);
      throw LinkDown(reason);
    }
  }
  return replies;
}

Reply RedisLink::RunScript(Script script, const Command& keys_and_args) {
  return std::move(RunScripts(script, std::span<const Command>(&keys_and_args, 1)).front());
}

}  // namespace cairnward
