#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
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

// A server's whole contribution as it stood when it was taken.
struct Publication {
  std::vector<std::string> fields;  // of every position
  OwnCounts counts;
};

// How the last publication that was sent whole went, for cairnward.status.
struct PublicationRecord {
  std::chrono::system_clock::time_point ended;
  std::size_t teams = 0;
  std::chrono::nanoseconds took{0};
};

// Sends this server's whole contribution to Redis on a thread and a
// connection of its own, so that the game thread goes on while Redis takes
// it in, a piece at a time. Destroying the publisher abandons what is not
// sent yet and waits for the piece in flight (at most "TimeoutMs" per reply).
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
  // The last publication sent whole; none before the first.
  std::optional<PublicationRecord> LastSent();

 private:
  void Serve();
  void Send(const Publication& publication);
  bool Superseded();

  ClusterSettings settings_;
  KeyNames keys_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  bool stopping_ = false;
  bool busy_ = false;
  std::optional<Publication> waiting_;
  std::optional<std::string> failure_;
  std::optional<PublicationRecord> last_sent_;
  std::thread thread_;
};

}  // namespace cairnward
