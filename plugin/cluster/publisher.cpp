#include "cluster/publisher.h"

#include <algorithm>
#include <exception>
#include <span>
#include <utility>

#include "accounting/ledger.h"

namespace cairnward {
namespace {

// Pieces sent before their answers are read: enough to hide the round trips,
// few enough that sending them never waits on Redis working through the
// ones before, which the timeout would take for a stall.
constexpr std::size_t kPiecesInFlight = 4;

std::int64_t MoveSequence(RedisConnection& connection, const KeyNames& keys) {
  const Reply reply = connection.Run(Command{"GET", MoveSequenceKey(keys)});
  std::int64_t sequence = 0;
  if (reply->type == REDIS_REPLY_STRING) {
    sequence = std::strtoll(reply->str, nullptr, 10);
  }
  return sequence;
}

}  // namespace

Publisher::Publisher(ClusterSettings settings, KeyNames keys)
    : settings_(std::move(settings)), keys_(std::move(keys)), thread_([this] { Serve(); }) {}

Publisher::~Publisher() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  ended_.notify_all();
  thread_.join();
}

void Publisher::Publish(Publication publication) {
  {
    const std::lock_guard lock(mutex_);
    // Changes from now on are after this snapshot.
    sending_ = std::make_shared<const Publication>(std::move(publication));
    waiting_ = sending_;
    touched_.clear();
    failure_.reset();
    busy_ = true;
  }
  wake_.notify_all();
}

void Publisher::Wait(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  ended_.wait_for(lock, limit, [&] { return !busy_; });
}

bool Publisher::Busy() {
  const std::lock_guard lock(mutex_);
  return busy_;
}

std::optional<std::string> Publisher::TakeFailure() {
  const std::lock_guard lock(mutex_);
  return std::exchange(failure_, std::nullopt);
}

std::vector<std::pair<std::int32_t, std::string>> Publisher::TakeProblems() {
  const std::lock_guard lock(mutex_);
  return std::exchange(problems_, {});
}

void Publisher::Changing(const std::function<std::optional<ContributionChange>()>& change) {
  bool tracked = false;
  {
    const std::lock_guard lock(mutex_);
    if (busy_) {
      tracked = true;
      ++changes_in_flight_;
    }
  }
  std::optional<ContributionChange> made;
  try {
    made = change();
  } catch (...) {
    EndChange(tracked, std::nullopt);
    throw;
  }
  EndChange(tracked, made);
}

Publisher::Dense& Publisher::Touched(std::int32_t team) {
  const auto [it, added] = touched_.try_emplace(team);
  if (added) {
    it->second.assign(sending_ != nullptr ? sending_->fields.size() : 0, 0);
    if (sending_ != nullptr) {
      if (const auto taken = sending_->counts.find(team); taken != sending_->counts.end()) {
        for (const auto& [position, count] : taken->second) {
          it->second[position] = count;
        }
      }
    }
  }
  return it->second;
}

void Publisher::EndChange(bool tracked, const std::optional<ContributionChange>& change) {
  if (!tracked) {
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    if (change && change->forget) {
      touched_.erase(change->team);
      touched_.erase(change->moved_to.value_or(0));
    } else if (change && sending_ != nullptr) {
      Dense& counts = Touched(change->team);
      for (const auto& [position, delta] : change->deltas) {
        if (position < counts.size()) {
          counts[position] = std::max(0, counts[position] + delta);
        }
      }
      if (change->moved_to) {
        const Dense moved = std::exchange(counts, Dense(counts.size(), 0));
        if (*change->moved_to > kHighestUncountedTeam) {
          Dense& target = Touched(*change->moved_to);
          for (std::size_t i = 0; i < target.size() && i < moved.size(); ++i) {
            target[i] += moved[i];
          }
        }
      }
    }
    --changes_in_flight_;
  }
  ended_.notify_all();
}

void Publisher::Serve() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [&] { return stopping_ || waiting_; });
    if (stopping_) {
      return;
    }
    const std::shared_ptr<const Publication> publication = std::exchange(waiting_, nullptr);
    lock.unlock();
    std::optional<std::string> failure;
    // Nothing may leave the thread: a failure of any kind ends the
    // publication and takes the link down.
    try {
      Send(*publication);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    lock.lock();
    if (!waiting_ && busy_) {
      failure_ = std::move(failure);
      End();
    }
  }
}

void Publisher::End() {
  busy_ = false;
  sending_.reset();
  touched_.clear();
  ended_.notify_all();
}

bool Publisher::Superseded() {
  const std::lock_guard lock(mutex_);
  return stopping_ || waiting_ != nullptr;
}

void Publisher::SendPieces(RedisConnection& connection, const std::vector<Command>& pieces) {
  for (std::size_t first = 0; first < pieces.size(); first += kPiecesInFlight) {
    if (Superseded()) {
      return;
    }
    const std::size_t count = std::min(kPiecesInFlight, pieces.size() - first);
    const std::vector<Reply> replies = connection.RunScripts(
        Script::kReplace, std::span<const Command>(pieces).subspan(first, count));
    const std::lock_guard lock(mutex_);
    for (const Reply& reply : replies) {
      for (std::size_t i = 0; i + 1 < reply->elements; i += 2) {
        const redisReply& team = *reply->element[i];
        const redisReply& why = *reply->element[i + 1];
        problems_.emplace_back(TeamOfMember(std::string_view(team.str, team.len)),
                               std::string(why.str, why.len));
      }
    }
  }
}

// Sends the teams changed since the snapshot, as the snapshot with the
// changes applied, until no change is left: a change in flight on the game
// thread is waited for, so none is made between the last of these and the
// end of the publication.
void Publisher::SendTouched(RedisConnection& connection, const Publication& publication,
                            std::size_t teams_per_piece) {
  while (!Superseded()) {
    const std::int64_t sequence = MoveSequence(connection, keys_);
    OwnCounts counts;
    std::vector<std::int32_t> dropped;
    {
      std::unique_lock lock(mutex_);
      ended_.wait(lock, [&] { return changes_in_flight_ == 0 || stopping_; });
      if (stopping_ || waiting_) {
        return;
      }
      if (touched_.empty()) {
        // Ended under the same lock that saw nothing left, so that no
        // change can come between.
        End();
        return;
      }
      for (const auto& [team, dense] : touched_) {
        TeamCountPairs pairs = CountsAboveZero(dense);
        if (pairs.empty()) {
          dropped.push_back(team);
        } else {
          counts[team] = std::move(pairs);
        }
      }
      touched_.clear();
    }
    SendPieces(connection,
               ReplaceCalls(keys_, publication.fields, counts, dropped, sequence, teams_per_piece));
  }
}

void Publisher::Send(const Publication& publication) {
  // A connection of its own for each publication: publications are rare,
  // and one kept from the last may have died with a Redis that restarted.
  RedisConnection connection(settings_);
  // Teams this server held a contribution for and counts no more.
  const std::vector<Reply> held = connection.Run(
      std::vector<Command>{{"SMEMBERS", keys_.ServerTeams()}, {"SCARD", keys_.Servers()}});
  std::vector<std::int32_t> dropped;
  for (std::size_t i = 0; i < held[0]->elements; ++i) {
    const redisReply& member = *held[0]->element[i];
    const std::int32_t team = TeamOfMember(std::string_view(member.str, member.len));
    if (publication.counts.find(team) == publication.counts.end()) {
      dropped.push_back(team);
    }
  }
  const std::size_t teams_per_piece = TeamsPerPiece(static_cast<std::size_t>(held[1]->integer) + 1);
  SendPieces(connection, ReplaceCalls(keys_, publication.fields, publication.counts, dropped,
                                      publication.sequence, teams_per_piece));
  SendTouched(connection, publication, teams_per_piece);
}

}  // namespace cairnward
