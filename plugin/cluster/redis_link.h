#pragma once

#include <hiredis/hiredis.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

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

// The link is down: the caller counts this server's world alone.
class LinkDown : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The plug-in's connection to the cluster's Redis. Calls come from the game
// thread only, and each of its waits on Redis is bounded by "TimeoutMs".
// While the link is down a thread of its own tries to connect again every
// "RetryMs"; the game thread takes the new connection over at its next call,
// without touching the network until then. Destroying the link stops that
// thread.
class RedisLink {
 public:
  // `on_back` runs on the game thread when the link comes back, before the
  // call that found it back goes on; it may use the link.
  RedisLink(ClusterSettings settings, std::function<void()> on_back);
  ~RedisLink();
  RedisLink(const RedisLink&) = delete;
  RedisLink& operator=(const RedisLink&) = delete;

  // Connects at once; when that fails the link starts down, with one warning.
  void Start();

  // Whether calls may go to Redis now. Cheap while the link is down.
  bool Up();

  // Runs the commands pipelined and hands back their replies in order. An
  // error reply, a timeout or a lost connection takes the link down (one
  // warning) and throws LinkDown.
  std::vector<Reply> Run(std::span<const Command> commands);
  Reply Run(const Command& command);

  // EVALSHA of one of the scripts with the keys and arguments given; loads
  // the script when Redis no longer has it. Pipelined like Run.
  std::vector<Reply> RunScripts(Script script, std::span<const Command> keys_and_args);
  Reply RunScript(Script script, const Command& keys_and_args);

  // Takes the link down with one warning, as a failed call would.
  void Fail(const std::string& reason);

  [[nodiscard]] const ClusterSettings& Settings() const { return settings_; }
  // The longest the game thread has waited on one reply or connection.
  [[nodiscard]] std::chrono::nanoseconds LongestWait() const { return longest_wait_; }

 private:
  struct ContextFree {
    void operator()(redisContext* context) const noexcept { redisFree(context); }
  };
  using Context = std::unique_ptr<redisContext, ContextFree>;
  struct Connection {
    Context context;
    std::array<std::string, kScriptCount> shas;
  };

  static Connection Connect(const ClusterSettings& settings);
  void Reconnect();
  std::vector<Reply> Exchange(std::span<const Command> commands);
  void Adopt(Connection connection);

  ClusterSettings settings_;
  std::function<void()> on_back_;
  std::optional<Connection> connection_;  // game thread: the link is up while set
  std::chrono::nanoseconds longest_wait_{0};

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool wanted_ = false;                  // the game thread waits for a connection
  std::optional<Connection> ready_;      // made by the thread, not yet taken
  std::atomic<bool> ready_flag_{false};  // ready_ is set; read without the lock
  std::thread reconnector_;
};

}  // namespace cairnward
