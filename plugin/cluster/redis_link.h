#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cluster/link_record.h"
#include "cluster/redis_connection.h"
#include "config/cluster_settings.h"

namespace cairnward {

// The plug-in's connection to the cluster's Redis. Calls come from the game
// thread only, and each of its waits on Redis is bounded by "TimeoutMs".
// While the link is down a thread of its own tries to connect again every
// "RetryMs"; the game thread takes the new connection over at one step of
// its own (TakeOverReady), without touching the network until then.
// Destroying the link stops that thread.
class RedisLink {
 public:
  explicit RedisLink(ClusterSettings settings);
  ~RedisLink();
  RedisLink(const RedisLink&) = delete;
  RedisLink& operator=(const RedisLink&) = delete;

  // Connects at once; when that fails the link starts down, with one warning.
  void Start();

  // Whether calls may go to Redis now: one load, changes nothing.
  [[nodiscard]] bool Up() const { return connection_.has_value(); }

  // Takes over the connection the thread made while the link was down, if
  // there is one: true when the link has just come back (said once), and
  // the caller should then publish what Redis may have lost. Cheap while
  // there is none.
  bool TakeOverReady();

  // As RedisConnection's; a failure also takes the link down (one warning)
  // before LinkDown reaches the caller.
  std::vector<Reply> Run(std::span<const Command> commands);
  Reply Run(const Command& command);
  std::vector<Reply> RunScripts(Script script, std::span<const Command> keys_and_args);
  Reply RunScript(Script script, const Command& keys_and_args);

  // Takes the link down with one warning, as a failed call would.
  void Fail(const std::string& reason);

  [[nodiscard]] const ClusterSettings& Settings() const { return settings_; }
  // The longest the game thread has waited on one reply or connection.
  [[nodiscard]] std::chrono::nanoseconds LongestWait() const { return longest_wait_; }
  // Up or down since when and why, and the game thread's round trips.
  [[nodiscard]] LinkRecord& Record() { return record_; }

 private:
  void Reconnect();
  void Adopt(RedisConnection connection);
  template <typename Call>
  auto Use(Call call);

  ClusterSettings settings_;
  std::optional<RedisConnection> connection_;  // game thread: the link is up while set
  std::chrono::nanoseconds longest_wait_{0};
  LinkRecord record_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool wanted_ = false;                   // the game thread waits for a connection
  std::optional<RedisConnection> ready_;  // made by the thread, not yet taken
  std::atomic<bool> ready_flag_{false};   // ready_ is set; read without the lock
  std::thread reconnector_;
};

}  // namespace cairnward
