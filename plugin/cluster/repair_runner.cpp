#include "cluster/repair_runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "cluster/redis_connection.h"
#include "cluster/repair.h"
#include "host/clock_text.h"
#include "host/logger.h"

namespace cairnward {
namespace {

RepairReport RunRepair(const RepairJob& job, RedisConnection& connection, const KeyNames& keys,
                       const std::atomic<bool>& stop) {
  switch (job.kind) {
    case RepairKind::kRetire:
      return RetireGrid(connection, keys, job.grid, &stop);
    case RepairKind::kRebuild:
      return RebuildAggregates(connection, keys, &stop);
    case RepairKind::kCheck:
      break;
  }
  return CheckCluster(connection, keys, &stop);
}

std::string Failed(std::string_view why) {
  return fmt::format("failed: {}; what it did until then stands, team by team: run it again", why);
}

}  // namespace

std::string RepairName(const RepairJob& job) {
  switch (job.kind) {
    case RepairKind::kRetire:
      return fmt::format("retire of grid \"{}\"", job.grid);
    case RepairKind::kRebuild:
      return "rebuild";
    case RepairKind::kCheck:
      break;
  }
  return "check";
}

RepairRunner::RepairRunner(ClusterSettings settings, KeyNames keys)
    : settings_(std::move(settings)), keys_(std::move(keys)), thread_([this] { Serve(); }) {}

RepairRunner::~RepairRunner() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool RepairRunner::Start(RepairJob job) {
  {
    const std::lock_guard lock(mutex_);
    if (!state_.running.empty()) {
      return false;
    }
    state_.running = fmt::format("cluster {} since {}", RepairName(job),
                                 UtcTimeText(std::chrono::system_clock::now()));
    job_ = std::move(job);
  }
  wake_.notify_all();
  return true;
}

RepairState RepairRunner::State() {
  const std::lock_guard lock(mutex_);
  return state_;
}

bool RepairRunner::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [&] { return state_.running.empty(); });
}

void RepairRunner::Serve() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [&] { return stopping_ || job_; });
    if (stopping_) {
      return;
    }
    const RepairJob job = std::move(*std::exchange(job_, std::nullopt));
    lock.unlock();
    Run(job);
    lock.lock();
    state_.running.clear();
    idle_.notify_all();
  }
}

// Nothing may leave the thread: a failure of any kind ends the repair, and
// says so. What it did until then is consistent team by team.
void RepairRunner::Run(const RepairJob& job) {
  const auto started = std::chrono::steady_clock::now();
  const std::string name = RepairName(job);
  std::string last;
  try {
    RedisConnection connection(settings_, settings_.background_timeout);
    const RepairReport report = RunRepair(job, connection, keys_, stopping_);
    for (const std::string& finding : report.findings) {
      Log().warn("Cluster {}: {}", name, finding);
    }
    const std::chrono::nanoseconds took = std::chrono::steady_clock::now() - started;
    if (report.done) {
      Log().info("Cluster {}: {} ({})", name, report.summary, DurationText(took));
    } else {
      Log().warn("Cluster {}: {}", name, report.summary);
    }
    last = report.summary;
  } catch (const std::exception& e) {
    last = Failed(e.what());
    Log().error("Cluster {} {}", name, last);
  } catch (...) {
    last = Failed("unknown error");
    Log().error("Cluster {} {}", name, last);
  }
  const std::lock_guard lock(mutex_);
  state_.last = fmt::format("Last repair: cluster {}, ended {}: {}", name,
                            UtcTimeText(std::chrono::system_clock::now()), last);
}

}  // namespace cairnward
