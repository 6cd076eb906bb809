#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "cluster/key_names.h"
#include "cluster/publisher.h"
#include "cluster/redis_link.h"
#include "config/cluster_settings.h"
#include "shape.h"

namespace cluster_load {

// How the cluster judged a placement.
enum class Judged { kAllowed, kRefused, kLocally };

// One simulated grid server: the plug-in's own link, key names, publisher
// and script calls, fed with counts the shape generates instead of a world.
// Its calls come from one thread at a time (the grid's game thread); they
// answer as the plug-in's cluster calls do, judging by the grid's counts
// while the cluster cannot be asked.
class Grid {
 public:
  Grid(const Shape& shape, const cairnward::ClusterSettings& settings, int index);
  ~Grid();
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;

  // A load: the link, this grid's limits, the recount's counts and their
  // first publication, which goes on in the background.
  void Load();

  Judged Place(std::mt19937_64& random);
  void Remove(std::mt19937_64& random);
  void ReadStanding(std::mt19937_64& random);
  void CheckMerge(std::mt19937_64& random);
  void Join(std::mt19937_64& random);

  // Any thread: whether the publisher has sent everything, a publication
  // having ended at `since` or later.
  [[nodiscard]] bool AllIn(std::chrono::system_clock::time_point since);
  // Times the link went down, and came back.
  [[nodiscard]] int Downs() const { return downs_.load(); }
  [[nodiscard]] int Backs() const { return backs_.load(); }
  // Why the link last went down.
  // Why the link last went down, as it said then.
  [[nodiscard]] std::string LastReason() const {
    const std::lock_guard lock(reason_mutex_);
    return last_reason_;
  }

 private:
  // The link when the cluster may be asked now; publishes the whole
  // contribution when it has just come back.
  cairnward::RedisLink* UsableLink();
  // The link went down: counted, with why.
  void Down();
  // After a call: a link it took down is counted.
  // Sends the grid's whole contribution, as a recount's publication does.
  void Publish();
  void Noted();
  void PublishLimits(cairnward::RedisLink& link);
  void CountHere(std::int32_t team, const std::vector<std::uint32_t>& positions,
                 std::int32_t change);
  [[nodiscard]] std::int32_t SomeTeam(std::mt19937_64& random) const;
  std::optional<Judged> RunPlacement(cairnward::RedisLink& link, std::int32_t team,
                                     const std::vector<std::uint32_t>& positions);

  const Shape& shape_;
  int index_;
  cairnward::ClusterSettings settings_;
  cairnward::KeyNames keys_;
  std::unique_ptr<cairnward::Publisher> publisher_;
  std::unique_ptr<cairnward::RedisLink> link_;
  cairnward::ContributionsByTeam
      counts_;  // the grid's world: its contribution as its recount would find it
  std::string limits_version_;
  bool up_ = false;
  std::atomic<int> downs_{0};
  mutable std::mutex reason_mutex_;
  std::string last_reason_;
  std::atomic<int> backs_{0};
};

}  // namespace cluster_load
