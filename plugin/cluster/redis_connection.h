#pragma once

#include <hiredis/hiredis.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/link_record.h"
#include "cluster/scripts.h"
#include "config/cluster_settings.h"

namespace cairnward {

struct ReplyFree {
  void operator()(redisReply* reply) const noexcept { freeReplyObject(reply); }
};
using Reply = std::unique_ptr<redisReply, ReplyFree>;

// One Redis command as its arguments: sent as an argument vector, never as
// text, so no name or path can become part of another command.
using Command = std::vector<std::string>;

// Redis cannot be used: the caller counts this server's world alone.
class LinkDown : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One connection to the cluster's Redis, used by one thread at a time. Every
// wait on Redis is bounded by the connection's timeout, and by its deadline
// while one is set; a failed connection, an error reply, a timeout or a lost
// connection throws LinkDown with the reason.
class RedisConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects, authenticates, selects the database and loads the scripts,
  // each wait bounded by `timeout`. The longest wait on one reply or on
  // connecting is kept in `longest_wait` when one is given.
  RedisConnection(const ClusterSettings& settings, std::chrono::milliseconds timeout,
                  std::chrono::nanoseconds* longest_wait = nullptr);

  // Where the longest wait is kept from now on (none: not kept).
  void RecordWaitsIn(std::chrono::nanoseconds* longest_wait) { longest_wait_ = longest_wait; }
  // Where each exchange's round trip is kept from now on (none: not kept).
  void RecordRoundTripsIn(LinkRecord* record) { round_trips_ = record; }
  // The bound of each wait from now on.
  void UseTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // No wait goes past `deadline` (none: only the timeout bounds them).
  void SetDeadline(std::optional<Clock::time_point> deadline) { deadline_ = deadline; }

  // Runs the commands pipelined and hands back their replies in order.
  std::vector<Reply> Run(std::span<const Command> commands);
  Reply Run(const Command& command);

  // EVALSHA of one of the scripts with the keys and arguments given; loads
  // the script when Redis no longer has it. Pipelined like Run.
  std::vector<Reply> RunScripts(Script script, std::span<const Command> keys_and_args);
  Reply RunScript(Script script, const Command& keys_and_args);
  // The same one script at a time, for a window of calls in flight: a
  // queued call goes out at the next receive, which answers the oldest
  // queued. A script Redis no longer has (it restarted) fails as an error
  // answer: the connection is then of no further use.
  void QueueScript(Script script, const Command& keys_and_args);
  Reply ReceiveScript();

 private:
  struct ContextFree {
    void operator()(redisContext* context) const noexcept { redisFree(context); }
  };

  // The replies, error replies included. Each command is sent after the
  // arguments of `head`, if any.
  std::vector<Reply> Exchange(std::span<const Command> commands,
                              std::span<const std::string_view> head = {});
  // The next reply, error replies included.
  Reply Receive();
  void Waited(std::chrono::nanoseconds wait);
  // Sets the socket's timeout to what the next wait may take.
  void BoundNextWait();

  std::unique_ptr<redisContext, ContextFree> context_;
  std::array<std::string, kScriptCount> shas_;
  std::chrono::nanoseconds* longest_wait_;
  LinkRecord* round_trips_ = nullptr;
  std::chrono::milliseconds timeout_;
  std::chrono::milliseconds applied_;  // the socket's timeout now
  std::optional<Clock::time_point> deadline_;
};

}  // namespace cairnward
