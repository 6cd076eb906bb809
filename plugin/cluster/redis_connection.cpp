#include "cluster/redis_connection.h"

#include <fmt/format.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace cairnward {
namespace {

timeval AsTimeval(std::chrono::milliseconds duration) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  return timeval{
      static_cast<time_t>(seconds.count()),
      static_cast<suseconds_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(duration - seconds).count())};
}

// The argument vector hiredis takes, pointing into the command after the
// arguments of `head` (a script's call: EVALSHA and its digest).
struct Arguments {
  Arguments(std::span<const std::string_view> head, const Command& command) {
    pointers.reserve(head.size() + command.size());
    lengths.reserve(head.size() + command.size());
    for (const std::string_view argument : head) {
      pointers.push_back(argument.data());
      lengths.push_back(argument.size());
    }
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

void ThrowOnError(const std::vector<Reply>& replies) {
  for (const Reply& reply : replies) {
    if (reply->type == REDIS_REPLY_ERROR) {
      throw LinkDown("Redis answered " + ErrorText(*reply));
    }
  }
}

}  // namespace

RedisConnection::RedisConnection(const ClusterSettings& settings, std::chrono::milliseconds timeout,
                                 std::chrono::nanoseconds* longest_wait)
    : longest_wait_(longest_wait), timeout_(timeout), applied_(timeout) {
  const timeval bound = AsTimeval(timeout);
  const auto started = Clock::now();
  context_.reset(redisConnectWithTimeout(settings.host.c_str(), settings.port, bound));
  Waited(Clock::now() - started);
  if (context_ == nullptr) {
    throw LinkDown("out of memory");
  }
  if (context_->err != 0) {
    throw LinkDown(context_->errstr);
  }
  if (redisSetTimeout(context_.get(), bound) != REDIS_OK) {
    throw LinkDown("cannot set the timeout");
  }
  redisEnableKeepAlive(context_.get());
  const auto call = [&](const Command& command) {
    Reply reply = std::move(Exchange(std::span<const Command>(&command, 1)).front());
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
    shas_[i].assign(sha->str, sha->len);
  }
}

void RedisConnection::BoundNextWait() {
  std::chrono::milliseconds wanted = timeout_;
  if (deadline_) {
    // Rounded up: a wait never ends early for want of a part of a millisecond.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    if (left.count() <= 0) {
      throw LinkDown("no answer within TimeoutMs");
    }
    wanted = std::min(wanted, left);
  }
  if (wanted != applied_) {
    if (redisSetTimeout(context_.get(), AsTimeval(wanted)) != REDIS_OK) {
      throw LinkDown("cannot set the timeout");
    }
    applied_ = wanted;
  }
}

void RedisConnection::Waited(std::chrono::nanoseconds wait) {
  if (longest_wait_ != nullptr) {
    *longest_wait_ = std::max(*longest_wait_, wait);
  }
}

std::vector<Reply> RedisConnection::Exchange(std::span<const Command> commands,
                                             std::span<const std::string_view> head) {
  redisContext* context = context_.get();
  const auto sent = Clock::now();
  for (const Command& command : commands) {
    Arguments args(head, command);
    if (redisAppendCommandArgv(context, static_cast<int>(args.pointers.size()),
                               args.pointers.data(), args.lengths.data()) != REDIS_OK) {
      throw LinkDown(context->errstr);
    }
  }
  std::vector<Reply> replies;
  replies.reserve(commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    replies.push_back(Receive());
  }
  if (round_trips_ != nullptr) {
    round_trips_->AddRoundTrip(Clock::now() - sent);
  }
  return replies;
}

Reply RedisConnection::Receive() {
  redisContext* context = context_.get();
  void* raw = nullptr;
  BoundNextWait();
  const auto asked = Clock::now();
  const int status = redisGetReply(context, &raw);
  Waited(Clock::now() - asked);
  if (status != REDIS_OK || raw == nullptr) {
    throw LinkDown(context->err == REDIS_ERR_IO && context->errstr[0] == '\0' ? std::strerror(errno)
                                                                              : context->errstr);
  }
  return Reply(static_cast<redisReply*>(raw));
}

void RedisConnection::QueueScript(Script script, const Command& keys_and_args) {
  const std::string& sha = shas_[static_cast<std::size_t>(script)];
  std::vector<const char*> pointers{"EVALSHA", sha.data()};
  std::vector<std::size_t> lengths{7, sha.size()};
  pointers.reserve(2 + keys_and_args.size());
  lengths.reserve(2 + keys_and_args.size());
  for (const std::string& argument : keys_and_args) {
    pointers.push_back(argument.data());
    lengths.push_back(argument.size());
  }
  if (redisAppendCommandArgv(context_.get(), static_cast<int>(pointers.size()), pointers.data(),
                             lengths.data()) != REDIS_OK) {
    throw LinkDown(context_->errstr);
  }
}

Reply RedisConnection::ReceiveScript() {
  Reply reply = Receive();
  if (reply->type == REDIS_REPLY_ERROR) {
    throw LinkDown("Redis answered " + ErrorText(*reply));
  }
  return reply;
}

std::vector<Reply> RedisConnection::Run(std::span<const Command> commands) {
  std::vector<Reply> replies = Exchange(commands);
  ThrowOnError(replies);
  return replies;
}

Reply RedisConnection::Run(const Command& command) {
  return std::move(Run(std::span<const Command>(&command, 1)).front());
}

std::vector<Reply> RedisConnection::RunScripts(Script script,
                                               std::span<const Command> keys_and_args) {
  const std::array<std::string_view, 2> by_sha{"EVALSHA", shas_[static_cast<std::size_t>(script)]};
  std::vector<Reply> replies = Exchange(keys_and_args, by_sha);
  for (std::size_t i = 0; i < replies.size(); ++i) {
    // A Redis that restarted has forgotten the script: sent whole, it is
    // kept again. Every script may run again without harm, as none ran.
    if (IsNoScript(*replies[i])) {
      const std::array<std::string_view, 2> whole{"EVAL", ScriptSource(script)};
      replies[i] = std::move(Exchange(keys_and_args.subspan(i, 1), whole).front());
    }
  }
  ThrowOnError(replies);
  return replies;
}

Reply RedisConnection::RunScript(Script script, const Command& keys_and_args) {
  return std::move(RunScripts(script, std::span<const Command>(&keys_and_args, 1)).front());
}

}  // namespace cairnward
