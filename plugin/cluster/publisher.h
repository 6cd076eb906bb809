#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"
#include "cluster/script_calls.h"
#include "config/cluster_settings.h"

namespace cairnward {

// A server's whole contribution as it stood when it was taken, and the
// cluster's move sequence read before it was taken: a team that a join moved
// after that is left as the join left it.
struct Publication {
  std::vector<std::string> fields;  // of every position
  OwnCounts counts;
  std::int64_t sequence = 0;
};

// A change of this server's counts that the game thread made in Redis:
// changes at positions of a team, or team `team`'s counts moved to
// `moved_to`. A join moved back (`forget`) leaves both teams as Redis holds
// them: a publication passes over teams moved after its snapshot.
struct ContributionChange {
  std::int32_t team = 0;
  std::vector<std::pair<std::uint32_t, std::int32_t>> deltas;
  std::optional<std::int32_t> moved_to;
  bool forget = false;
};

// Sends this server's whole contribution to Redis on a thread and a
// connection of its own, so that the game thread goes on while Redis takes
// it in, a piece at a time. A piece may overwrite a change the game thread
// made meanwhile, so the teams changed while it is sent are sent again by
// this thread, from the snapshot with those changes applied, once the
// pieces are in. Destroying the publisher abandons what is not sent yet and
// waits for the piece in flight (at most "TimeoutMs" per reply).
class Publisher {
 public:
  Publisher(ClusterSettings settings, KeyNames keys);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // Hands a publication over. One still being sent is abandoned for it, as
  // the new one holds everything; a failure not yet taken is forgotten.
  void Publish(Publication publication);
  // Waits until the publication handed over last has ended, at most `limit`.
  void Wait(std::chrono::milliseconds limit);
  // Whether the publication handed over last is still being sent.
  [[nodiscard]] bool Busy();
  // Why the publication handed over last failed, once; none if it did not.
  std::optional<std::string> TakeFailure();
  // Teams whose counts Redis holds values that are not counts for, with
  // why, once each.
  std::vector<std::pair<std::int32_t, std::string>> TakeProblems();

  // Runs `change`, a call of the game thread that changes this server's
  // counts in Redis and answers how (none: they did not change), so that a
  // publication cannot end while it runs.
  void Changing(const std::function<std::optional<ContributionChange>()>& change);

 private:
  using Dense = std::vector<std::int32_t>;

  void EndChange(bool tracked, const std::optional<ContributionChange>& change);
  Dense& Touched(std::int32_t team);
  void Serve();
  void Send(const Publication& publication);
  void SendPieces(RedisConnection& connection, const std::vector<Command>& pieces);
  void SendTouched(RedisConnection& connection, const Publication& publication,
                   std::size_t teams_per_piece);
  bool Superseded();
  void End();  // with the lock held

  ClusterSettings settings_;
  KeyNames keys_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  bool stopping_ = false;
  bool busy_ = false;
  std::shared_ptr<const Publication> waiting_;
  std::optional<std::string> failure_;
  std::vector<std::pair<std::int32_t, std::string>> problems_;
  // The publication being sent, the changes in flight on the game thread,
  // and the counts of the teams changed since its snapshot.
  std::shared_ptr<const Publication> sending_;
  int changes_in_flight_ = 0;
  FlatHashMap<std::int32_t, Dense> touched_;
  std::thread thread_;
};

}  // namespace cairnward
