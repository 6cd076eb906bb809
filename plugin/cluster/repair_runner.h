#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cluster/key_names.h"
#include "config/cluster_settings.h"

namespace cairnward {

enum class RepairKind { kRetire, kRebuild, kCheck };

struct RepairJob {
  RepairKind kind = RepairKind::kCheck;
  std::string grid;  // the grid to retire, as configured there
};

// The repairs' part of cairnward.status.
struct RepairState {
  std::string running;  // the repair under way ("" when none) and since when
  std::string last;     // how the last one ended ("" before the first)
};

// Runs the administrator's repairs (cluster/repair.h) one at a time, on a
// thread and a connection of their own: the command that asked returns at
// once, and the result goes to the log and to cairnward.status. Each wait on
// Redis is bounded by "BackgroundTimeoutMs", as the other threads' are.
// Destroying the runner stops the repair under way between two calls.
class RepairRunner {
 public:
  RepairRunner(ClusterSettings settings, KeyNames keys);
  ~RepairRunner();
  RepairRunner(const RepairRunner&) = delete;
  RepairRunner& operator=(const RepairRunner&) = delete;

  // Starts the repair; false (and nothing started) while one runs.
  bool Start(RepairJob job);
  RepairState State();
  // Waits until no repair runs, at most `limit`: for tests and the demo.
  bool WaitIdle(std::chrono::milliseconds limit);

 private:
  void Serve();
  void Run(const RepairJob& job);

  ClusterSettings settings_;
  KeyNames keys_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::atomic<bool> stopping_{false};
  std::optional<RepairJob> job_;
  RepairState state_;
  std::thread thread_;
};

// A repair's name as the command and the log say it.
std::string RepairName(const RepairJob& job);

}  // namespace cairnward
