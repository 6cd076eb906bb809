#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/lease.h"
#include "cluster/link_record.h"
#include "cluster/redis_connection.h"
#include "config/cluster_settings.h"

namespace cairnward {

// The plug-in's connection to the cluster's Redis. Calls come from the game
// thread only; each wait of theirs is bounded by "TimeoutMs" and by the
// deadline of the hook that makes them.
//
// A thread of the link's own does the rest, with "BackgroundTimeoutMs" per
// wait. While the link is down it connects again and takes this server's
// lease, first after "RetryMs" and then backing off; the game thread takes
// that connection over at one step of its own (Poll), without touching the
// network until then. While the link is up it renews the lease every
// "HeartbeatMs" on a connection of its own: a lease it finds gone means
// Redis lost this server's data (restarted empty, flushed), and `on_lost`
// runs on that thread to publish it again; a lease held by another
// instance of this server's name takes the link down until it expires.
// Destroying the link stops the thread and gives the lease up.
class RedisLink {
 public:
  RedisLink(ClusterSettings settings, const KeyNames& keys, std::function<void()> on_lost);
  ~RedisLink();
  RedisLink(const RedisLink&) = delete;
  RedisLink& operator=(const RedisLink&) = delete;

  // Connects and takes the lease at once; when that fails the link starts
  // down, with one warning (or the error naming the name's holder).
  void Start();

  // Whether calls may go to Redis now: one load, changes nothing.
  [[nodiscard]] bool Up() const { return connection_.has_value(); }

  // The game thread's step: logs what the link's thread found, takes the
  // link down when another instance holds the name, and takes over the
  // connection the thread made while the link was down. True when the link
  // has just come back (said once): the caller then publishes what Redis
  // may have lost. Cheap when there is nothing to do.
  bool Poll();

  // As RedisConnection's; a failure also takes the link down (one warning)
  // before LinkDown reaches the caller.
  std::vector<Reply> Run(std::span<const Command> commands);
  Reply Run(const Command& command);
  std::vector<Reply> RunScripts(Script script, std::span<const Command> keys_and_args);
  Reply RunScript(Script script, const Command& keys_and_args);

  // Takes the link down with one warning, as a failed call would.
  void Fail(const std::string& reason);

  // No wait of the game thread's calls goes past `deadline` (none: each is
  // bounded by "TimeoutMs" alone).
  void SetDeadline(std::optional<RedisConnection::Clock::time_point> deadline);

  [[nodiscard]] const ClusterSettings& Settings() const { return settings_; }
  // The cluster's move sequence as the link last read it (at connecting and
  // at every heartbeat): a publication whose snapshot is taken now carries
  // it without a wait on Redis. Older than the snapshot, never newer.
  [[nodiscard]] std::int64_t MoveSequence() const {
    return move_sequence_.load(std::memory_order_relaxed);
  }
  // The longest the game thread has waited on one reply or connection.
  [[nodiscard]] std::chrono::nanoseconds LongestWait() const { return longest_wait_; }
  // Up or down since when and why, and the game thread's round trips.
  [[nodiscard]] LinkRecord& Record() { return record_; }

 private:
  void Serve();
  bool TryConnect();
  void Beat(std::optional<RedisConnection>& beat);
  // The lease on `connection`, and the move sequence read with it in one
  // round trip: true when the lease is this server's now; a refusal is noted
  // for the game thread to log, once per holder.
  bool HoldLease(RedisConnection& connection, bool& lost);
  void Adopt(RedisConnection connection);
  void ReleaseLease();
  template <typename Call>
  auto Use(Call call);

  ClusterSettings settings_;
  KeyNames keys_;
  Lease lease_;
  std::function<void()> on_lost_;
  std::optional<RedisConnection> connection_;  // game thread: the link is up while set
  std::optional<RedisConnection::Clock::time_point> deadline_;
  std::chrono::nanoseconds longest_wait_{0};
  std::atomic<std::int64_t> move_sequence_{0};
  LinkRecord record_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool wanted_ = false;                   // the link is down: the thread connects again
  std::optional<RedisConnection> ready_;  // made by the thread, not yet taken
  bool refused_ = false;                  // the heartbeat found the name held by another
  std::string refused_by_;                // the holder last said, so that it is said once
  std::vector<std::string> errors_;       // for the game thread to log
  std::atomic<bool> news_{false};         // ready_, refused_ or errors_ is set
  std::thread thread_;
};

}  // namespace cairnward
