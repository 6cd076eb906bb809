#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/local_counts_copy.h"
#include "cluster/paced_pieces.h"
#include "cluster/publishing_slot.h"
#include "cluster/redis_connection.h"
#include "cluster/script_calls.h"
#include "config/cluster_settings.h"

namespace cairnward {

// A server's whole contribution as it stood when it was taken, and the
// cluster's move sequence read before it was taken: a team that a join moved
// after that is left as the join left it.
struct Publication {
  std::vector<std::string> fields;  // of every position
  ContributionsByTeam counts;
  std::int64_t sequence = 0;
};

// The same as the game thread takes it: the counts as the ledger holds them,
// turned into counts by team on the publisher's thread.
struct TakenCounts {
  std::vector<std::string> fields;
  LocalCountsCopy copy;
  std::int64_t sequence = 0;
};

// How the last publication that was sent whole went, for cairnward.status.
struct PublicationRecord {
  std::chrono::system_clock::time_point ended;
  std::size_t teams = 0;
  std::chrono::nanoseconds took{0};
};

// Sends this server's whole contribution to Redis on a thread and a
// connection of its own, so that the game thread goes on while Redis takes
// it in, a piece at a time, each wait bounded by "BackgroundTimeoutMs". A
// publication that fails is tried again, backing off, until it is sent or
// a newer one replaces it: a Redis busy refilling from hundreds of grids is
// no reason to count locally.
//
// It keeps what it last sent, and the changes the game thread made since,
// so that it can send the contribution again (with this server's limits)
// from any thread, whenever Redis has lost it. A piece may overwrite a
// change the game thread made while it was sent, so the teams changed
// meanwhile are sent again by this thread, as kept, before the publication
// ends. Destroying the publisher abandons what is not sent yet and waits
// for the piece in flight.
class Publisher {
 public:
  Publisher(ClusterSettings settings, KeyNames keys);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // Game thread: hands a publication over, and keeps it. One still being
  // sent is abandoned for it, as the new one holds everything.
  void Publish(TakenCounts taken);
  // Game thread: what changed in the contribution kept since: the team's
  // count at each position by `change` (never below 0), or every count of
  // team `from` moved to team `to` (up to 1000: dropped).
  void Count(std::int32_t team, std::span<const std::uint32_t> positions, std::int32_t change);
  void Move(std::int32_t from, std::int32_t to);
  // Game thread: the team's counts in the contribution are these.
  void Set(std::int32_t team, TeamCountPairs pairs);
  // Game thread: runs `change`, a call that changes this server's counts in
  // Redis and tells Count, Move or Set how, so that no publication ends
  // between the call and what it tells.
  void Changing(const std::function<void()>& change);
  // Game thread: the commands that publish this server's limits, run again
  // before the contribution whenever it is sent again.
  void KeepLimits(std::vector<Command> calls);

  // Any thread: Redis has lost this server's data; its limits and its
  // contribution as kept are sent again.
  void Republish();

  // Waits until the publication handed over last has been sent, at most
  // `limit`, and no longer once it waits its turn behind other grids'.
  void Wait(std::chrono::nanoseconds limit);
  // Whether a publication is still being sent.
  [[nodiscard]] bool Busy();
  // Whether it waits its turn: another grid holds the publishing slot.
  [[nodiscard]] bool WaitingTurn();
  // Teams whose counts Redis holds values that are not counts for, with
  // why, each once.
  std::vector<std::pair<std::int32_t, std::string>> TakeProblems();

  // The last publication sent whole; none before the first.
  std::optional<PublicationRecord> LastSent();

 private:
  struct Job {
    enum class Sends {
      kTaken,             // the counts handed over last, as taken
      kKept,              // those with the changes since
      kChangedMeanwhile,  // the teams changed while they were sent
    };
    Sends sends = Sends::kTaken;
    bool with_limits = false;
  };

  void Serve();
  // The counts handed over last, turned into counts by team without the
  // lock, and kept; the lock is held on entry and on return.
  void Convert(std::unique_lock<std::mutex>& lock);
  // What the job sends, from what is kept now; the lock is held.
  std::shared_ptr<const Publication> Resolve(const Job& job) const;
  // After a job was sent: ends the publication, or sends the teams changed
  // meanwhile; the lock is held.
  void Sent(const Job& job, const std::shared_ptr<const Publication>& publication,
            std::chrono::steady_clock::duration took, std::unique_lock<std::mutex>& lock);
  void Send(const Job& job, const std::shared_ptr<const Publication>& publication);
  // Waits for a publishing slot; false when superseded or stopped meanwhile.
  bool TakeSlot(PublishingSlot& slot);
  void SendLimits(RedisConnection& connection);
  void SendPieces(RedisConnection& connection, ReplacePieces& pieces);
  void SendChangedMeanwhile(RedisConnection& connection);
  // The teams changed while the publication was sent, as kept now; the
  // lock is held.
  std::shared_ptr<const Publication> ChangedMeanwhile();
  void Note(std::int32_t team);
  bool Superseded();
  // The kept contribution with the changes since; the lock is held.
  std::shared_ptr<const Publication> Kept() const;
  // The team's pairs in the changes since, from the kept contribution at
  // first; the lock is held.
  TeamCountPairs& Changed(std::int32_t team);

  ClusterSettings settings_;
  KeyNames keys_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  bool stopping_ = false;
  bool busy_ = false;
  bool waiting_turn_ = false;  // for the publishing slot, which another grid holds
  std::optional<Job> waiting_;
  std::shared_ptr<const TakenCounts> taken_;  // handed over, not yet converted into kept_
  std::shared_ptr<const Publication> kept_;
  std::vector<std::shared_ptr<const void>> retired_;  // replaced, to be freed on the thread
  ContributionsByTeam changed_;  // teams changed since the counts were handed over: their pairs now
  FlatHashMap<std::int32_t, bool> resend_;  // changed while a publication was sent
  int changes_in_flight_ = 0;
  std::size_t servers_ = 1;  // how many grids the last publication found
  std::vector<std::pair<std::int32_t, std::string>> problems_;
  std::vector<Command> limits_;
  std::optional<PublicationRecord> last_sent_;
  std::thread thread_;
};

}  // namespace cairnward
