#include "cluster/publisher.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "accounting/ledger.h"
#include "cluster/backoff.h"
#include "cluster/publishing_slot.h"

namespace cairnward {
namespace {

// The first wait for a publishing slot; the waits grow to 8 times it.
constexpr std::chrono::milliseconds kSlotPoll{20};

std::int64_t MoveSequence(RedisConnection& connection, const KeyNames& keys) {
  return MoveSequenceIn(*connection.Run(MoveSequenceCall(keys)));
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

void Publisher::Publish(TakenCounts taken) {
  {
    const std::lock_guard lock(mutex_);
    // What it replaces is freed on the thread, not the game thread's.
    retired_.push_back(
        std::exchange(taken_, std::make_shared<const TakenCounts>(std::move(taken))));
    retired_.push_back(std::exchange(kept_, nullptr));
    changed_.clear();
    resend_.clear();
    // A republish waiting asked for the limits too: the new one sends them.
    waiting_ = Job{Job::Sends::kTaken, waiting_ && waiting_->with_limits};
    busy_ = true;
  }
  wake_.notify_all();
}

TeamCountPairs& Publisher::Changed(std::int32_t team) {
  if (const auto found = changed_.find(team); found != changed_.end()) {
    return found->second;
  }
  TeamCountPairs& pairs = changed_[team];
  if (taken_ != nullptr) {
    pairs = taken_->copy.PairsOf(team);
  } else if (kept_ != nullptr) {
    if (const auto found = kept_->counts.find(team); found != kept_->counts.end()) {
      pairs = found->second;
    }
  }
  return pairs;
}

void Publisher::Note(std::int32_t team) {
  if (busy_ && team > kHighestUncountedTeam) {
    resend_[team] = true;
  }
}

void Publisher::Changing(const std::function<void()>& change) {
  {
    const std::lock_guard lock(mutex_);
    ++changes_in_flight_;
  }
  const auto end = [&] {
    {
      const std::lock_guard lock(mutex_);
      --changes_in_flight_;
    }
    ended_.notify_all();
  };
  try {
    change();
  } catch (...) {
    end();
    throw;
  }
  end();
}

void Publisher::Count(std::int32_t team, std::span<const std::uint32_t> positions,
                      std::int32_t change) {
  const std::lock_guard lock(mutex_);
  Note(team);
  TeamCountPairs& pairs = Changed(team);
  for (const std::uint32_t position : positions) {
    AddAt(pairs, position, change);
  }
}

void Publisher::Move(std::int32_t from, std::int32_t to) {
  const std::lock_guard lock(mutex_);
  Note(from);
  Note(to);
  const TeamCountPairs moved = std::exchange(Changed(from), {});
  if (to > kHighestUncountedTeam) {
    TeamCountPairs& pairs = Changed(to);
    for (const auto& [position, count] : moved) {
      AddAt(pairs, position, count);
    }
  }
}

void Publisher::Set(std::int32_t team, TeamCountPairs pairs) {
  const std::lock_guard lock(mutex_);
  Note(team);
  changed_[team] = std::move(pairs);
}

void Publisher::KeepLimits(std::vector<Command> calls) {
  const std::lock_guard lock(mutex_);
  limits_ = std::move(calls);
}

std::shared_ptr<const Publication> Publisher::Kept() const {
  if (kept_ == nullptr) {
    return nullptr;
  }
  if (changed_.empty()) {
    return kept_;
  }
  auto now = std::make_shared<Publication>(*kept_);
  for (const auto& [team, pairs] : changed_) {
    if (pairs.empty()) {
      now->counts.erase(team);
    } else {
      now->counts[team] = pairs;
    }
  }
  return now;
}

void Publisher::Republish() {
  {
    const std::lock_guard lock(mutex_);
    if (kept_ == nullptr && taken_ == nullptr) {
      return;  // nothing published yet: the first recount does
    }
    waiting_ = Job{Job::Sends::kKept, true};
    busy_ = true;
  }
  wake_.notify_all();
}

void Publisher::Wait(std::chrono::nanoseconds limit) {
  std::unique_lock lock(mutex_);
  ended_.wait_for(lock, limit, [&] { return !busy_ || waiting_turn_; });
}

bool Publisher::Busy() {
  const std::lock_guard lock(mutex_);
  return busy_;
}

bool Publisher::WaitingTurn() {
  const std::lock_guard lock(mutex_);
  return waiting_turn_;
}

std::vector<std::pair<std::int32_t, std::string>> Publisher::TakeProblems() {
  const std::lock_guard lock(mutex_);
  return std::exchange(problems_, {});
}

std::shared_ptr<const Publication> Publisher::ChangedMeanwhile() {
  auto changed = std::make_shared<Publication>();
  // A publication handed over since has no kept counts yet; its fields are the same.
  changed->fields = kept_ != nullptr ? kept_->fields : taken_->fields;
  for (const auto& [team, noted] : resend_) {
    changed->counts[team] = Changed(team);
  }
  resend_.clear();
  return changed;
}

std::optional<PublicationRecord> Publisher::LastSent() {
  const std::lock_guard lock(mutex_);
  return last_sent_;
}

void Publisher::Serve() {
  Backoff backoff(settings_.retry);
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [&] { return stopping_ || waiting_; });
    if (stopping_) {
      return;
    }
    const Job job = *std::exchange(waiting_, std::nullopt);
    Convert(lock);
    if (waiting_ || stopping_) {
      continue;  // superseded while converting: the newer one holds everything
    }
    const std::shared_ptr<const Publication> publication = Resolve(job);
    lock.unlock();
    const auto started = std::chrono::steady_clock::now();
    bool sent = false;
    // Nothing may leave the thread: a failure of any kind is tried again.
    try {
      Send(job, publication);
      sent = true;
    } catch (const std::exception&) {
      sent = false;
    }
    lock.lock();
    if (waiting_ || stopping_) {
      continue;  // superseded: the newer one holds everything
    }
    if (sent) {
      backoff.Reset();
      Sent(job, publication, std::chrono::steady_clock::now() - started, lock);
      continue;
    }
    wake_.wait_for(lock, backoff.Next(), [&] { return stopping_ || waiting_; });
    if (!waiting_) {
      waiting_ = job;
    }
  }
}

void Publisher::Convert(std::unique_lock<std::mutex>& lock) {
  std::vector<std::shared_ptr<const void>> retired = std::exchange(retired_, {});
  std::shared_ptr<const TakenCounts> taken = taken_;
  lock.unlock();
  retired.clear();
  std::shared_ptr<const Publication> converted;
  if (taken != nullptr) {
    converted = std::make_shared<const Publication>(
        Publication{taken->fields, taken->copy.ByTeam(), taken->sequence});
  }
  lock.lock();
  if (taken != nullptr && taken_ == taken) {
    kept_ = std::move(converted);
    retired_.push_back(std::exchange(taken_, nullptr));
  }
}

std::shared_ptr<const Publication> Publisher::Resolve(const Job& job) const {
  switch (job.sends) {
    case Job::Sends::kTaken:
      return kept_;
    case Job::Sends::kKept:
      return Kept();
    case Job::Sends::kChangedMeanwhile:
      break;
  }
  return nullptr;
}

void Publisher::Sent(const Job& job, const std::shared_ptr<const Publication>& publication,
                     std::chrono::steady_clock::duration took, std::unique_lock<std::mutex>& lock) {
  if (job.sends != Job::Sends::kChangedMeanwhile && publication != nullptr) {
    last_sent_ = PublicationRecord{std::chrono::system_clock::now(), publication->counts.size(),
                                   std::chrono::duration_cast<std::chrono::nanoseconds>(took)};
  }
  // Ends only under the lock that saw no change left, and none in flight on
  // the game thread, so that none comes between.
  ended_.wait(lock, [&] { return changes_in_flight_ == 0 || stopping_ || waiting_; });
  if (stopping_ || waiting_) {
    return;
  }
  if (!resend_.empty() && kept_ != nullptr) {
    waiting_ = Job{Job::Sends::kChangedMeanwhile, false};
    return;
  }
  busy_ = false;
  ended_.notify_all();
}

bool Publisher::Superseded() {
  const std::lock_guard lock(mutex_);
  return stopping_ || waiting_.has_value();
}

void Publisher::SendPieces(RedisConnection& connection, ReplacePieces& pieces) {
  std::size_t servers = 1;
  {
    const std::lock_guard lock(mutex_);
    servers = servers_;
  }
  PiecePacer pacer(servers);
  SendPaced(
      connection, pieces, pacer, [&] { return Superseded(); },
      [&](const redisReply& reply) {
        std::vector<std::pair<std::int32_t, std::string>> problems = ReplaceProblems(reply);
        const std::lock_guard lock(mutex_);
        for (auto& problem : problems) {
          problems_.push_back(std::move(problem));
        }
      });
}

void Publisher::SendChangedMeanwhile(RedisConnection& connection) {
  // The teams changed meanwhile, as kept after the move sequence is read.
  const std::int64_t sequence = MoveSequence(connection, keys_);
  std::shared_ptr<const Publication> changed;
  {
    const std::lock_guard lock(mutex_);
    changed = ChangedMeanwhile();
  }
  std::vector<std::int32_t> dropped;
  ContributionsByTeam counts;
  for (const auto& [team, pairs] : changed->counts) {
    if (pairs.empty()) {
      dropped.push_back(team);
    } else {
      counts[team] = pairs;
    }
  }
  try {
    ReplacePieces pieces(keys_, changed->fields, counts, std::move(dropped), sequence);
    SendPieces(connection, pieces);
  } catch (...) {
    // Sent at the next try.
    const std::lock_guard lock(mutex_);
    for (const auto& [team, pairs] : changed->counts) {
      resend_[team] = true;
    }
    throw;
  }
}

void Publisher::SendLimits(RedisConnection& connection) {
  std::vector<Command> limits;
  {
    const std::lock_guard lock(mutex_);
    limits = limits_;
  }
  if (!limits.empty()) {
    connection.Run(limits);
  }
}

bool Publisher::TakeSlot(PublishingSlot& slot) {
  Backoff waits(kSlotPoll);
  while (!slot.TryTake()) {
    std::unique_lock lock(mutex_);
    // A hook waiting for this publication would wait out its time for
    // nothing: the grid's own counts judge until it is in.
    waiting_turn_ = true;
    ended_.notify_all();
    const bool superseded =
        wake_.wait_for(lock, waits.Next(), [&] { return stopping_ || waiting_.has_value(); });
    waiting_turn_ = false;
    if (superseded) {
      return false;
    }
  }
  return true;
}

void Publisher::Send(const Job& job, const std::shared_ptr<const Publication>& publication) {
  // A connection of its own for each try: publications are rare, and one
  // kept from the last may have died with a Redis that restarted.
  RedisConnection connection(settings_, settings_.background_timeout);
  if (job.with_limits) {
    SendLimits(connection);
  }
  if (job.sends == Job::Sends::kChangedMeanwhile) {
    SendChangedMeanwhile(connection);
    return;
  }
  // A republish sends what was kept as the game thread changed it: any
  // join recorded until now is in it.
  const std::int64_t sequence =
      job.sends == Job::Sends::kKept ? MoveSequence(connection, keys_) : publication->sequence;
  PublishingSlot slot(connection, keys_);
  if (!TakeSlot(slot)) {
    return;  // superseded while waiting its turn
  }
  // Teams this server held a contribution for and counts no more, and how
  // many grids a changed team's aggregate is summed over: the few of its
  // grid index while the indexes are kept, else every grid.
  const std::vector<Reply> held =
      connection.Run(std::vector<Command>{{"SMEMBERS", keys_.ServerTeams()},
                                          {"SCARD", keys_.Servers()},
                                          {"EXISTS", keys_.GridIndexKept()}});
  std::vector<std::int32_t> dropped;
  for (std::size_t i = 0; i < held[0]->elements; ++i) {
    const redisReply& member = *held[0]->element[i];
    const std::int32_t team = TeamOfMember(std::string_view(member.str, member.len));
    if (publication->counts.find(team) == publication->counts.end()) {
      dropped.push_back(team);
    }
  }
  {
    const std::lock_guard lock(mutex_);
    servers_ = held[2]->integer == 1
                   ? 1
                   : static_cast<std::size_t>(std::max<long long>(held[1]->integer, 0)) + 1;
  }
  ReplacePieces pieces(keys_, publication->fields, publication->counts, std::move(dropped),
                       sequence, slot.Held());
  SendPieces(connection, pieces);
}

}  // namespace cairnward
