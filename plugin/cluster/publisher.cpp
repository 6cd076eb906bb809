#include "cluster/publisher.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "accounting/ledger.h"
#include "cluster/backoff.h"

namespace cairnward {
namespace {

// Pieces sent before their answers are read: enough to hide the round trips,
// few enough that sending them never waits on Redis working through the
// ones before, which the timeout would take for a stall.
constexpr std::size_t kPiecesInFlight = 4;

// Adds `change` to the count at `position` of pairs in position order; a
// count that reaches 0 leaves.
void AddAt(TeamCountPairs& pairs, std::uint32_t position, std::int32_t change) {
  const auto at =
      std::lower_bound(pairs.begin(), pairs.end(), position,
                       [](const auto& pair, std::uint32_t p) { return pair.first < p; });
  if (at != pairs.end() && at->first == position) {
    at->second = std::max(0, at->second + change);
    if (at->second == 0) {
      pairs.erase(at);
    }
  } else if (change > 0) {
    pairs.emplace(at, position, change);
  }
}

std::int64_t MoveSequence(RedisConnection& connection, const KeyNames& keys) {
  const Reply reply = connection.Run(Command{"GET", MoveSequenceKey(keys)});
  return reply->type == REDIS_REPLY_STRING ? std::strtoll(reply->str, nullptr, 10) : 0;
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
    // The one it replaces is freed on the thread, not the game thread's.
    retired_ = std::exchange(kept_, std::make_shared<const Publication>(std::move(publication)));
    changed_.clear();
    resend_.clear();
    waiting_ = Job{kept_, false};
    busy_ = true;
  }
  wake_.notify_all();
}

TeamCountPairs& Publisher::Changed(std::int32_t team) {
  if (const auto found = changed_.find(team); found != changed_.end()) {
    return found->second;
  }
  TeamCountPairs& pairs = changed_[team];
  if (kept_ != nullptr) {
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
    std::shared_ptr<const Publication> now = Kept();
    if (now == nullptr) {
      return;  // nothing published yet: the first recount does
    }
    waiting_ = Job{std::move(now), true};
    busy_ = true;
  }
  wake_.notify_all();
}

void Publisher::Wait(std::chrono::nanoseconds limit) {
  std::unique_lock lock(mutex_);
  ended_.wait_for(lock, limit, [&] { return !busy_; });
}

bool Publisher::Busy() {
  const std::lock_guard lock(mutex_);
  return busy_;
}

std::vector<std::pair<std::int32_t, std::string>> Publisher::TakeProblems() {
  const std::lock_guard lock(mutex_);
  return std::exchange(problems_, {});
}

std::shared_ptr<const Publication> Publisher::ChangedMeanwhile() {
  auto changed = std::make_shared<Publication>();
  changed->fields = kept_->fields;
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
    const Job job = std::move(*std::exchange(waiting_, std::nullopt));
    std::shared_ptr<const Publication> retired = std::exchange(retired_, nullptr);
    lock.unlock();
    retired.reset();
    bool sent = false;
    const auto started = std::chrono::steady_clock::now();
    // Nothing may leave the thread: a failure of any kind is tried again.
    try {
      Send(job);
      sent = true;
    } catch (const std::exception&) {
      sent = false;
    }
    lock.lock();
    if (waiting_) {
      continue;  // superseded: the newer one holds everything
    }
    if (sent) {
      backoff.Reset();
      if (job.publication != nullptr) {
        last_sent_ =
            PublicationRecord{std::chrono::system_clock::now(), job.publication->counts.size(),
                              std::chrono::steady_clock::now() - started};
      }
      // Ends only under the lock that saw no change left, and none in
      // flight on the game thread, so that none comes between.
      ended_.wait(lock, [&] { return changes_in_flight_ == 0 || stopping_ || waiting_; });
      if (stopping_ || waiting_) {
        continue;
      }
      if (!resend_.empty() && kept_ != nullptr) {
        waiting_ = Job{nullptr, false};
        continue;
      }
      busy_ = false;
      ended_.notify_all();
      continue;
    }
    wake_.wait_for(lock, backoff.Next(), [&] { return stopping_ || waiting_; });
    if (!waiting_) {
      waiting_ = job;
    }
  }
}

bool Publisher::Superseded() {
  const std::lock_guard lock(mutex_);
  return stopping_ || waiting_.has_value();
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
      for (auto& problem : ReplaceProblems(*reply)) {
        problems_.push_back(std::move(problem));
      }
    }
  }
}

void Publisher::SendChangedMeanwhile(RedisConnection& connection) {
  // The teams changed meanwhile, as kept after the move sequence is read.
  const std::int64_t sequence = MoveSequence(connection, keys_);
  std::shared_ptr<const Publication> changed;
  std::size_t teams_per_piece = 0;
  {
    const std::lock_guard lock(mutex_);
    changed = ChangedMeanwhile();
    teams_per_piece = teams_per_piece_;
  }
  std::vector<std::int32_t> dropped;
  OwnCounts counts;
  for (const auto& [team, pairs] : changed->counts) {
    if (pairs.empty()) {
      dropped.push_back(team);
    } else {
      counts[team] = pairs;
    }
  }
  try {
    SendPieces(connection,
               ReplaceCalls(keys_, changed->fields, counts, dropped, sequence, teams_per_piece));
  } catch (...) {
    // Sent at the next try.
    const std::lock_guard lock(mutex_);
    for (const auto& [team, pairs] : changed->counts) {
      resend_[team] = true;
    }
    throw;
  }
}

void Publisher::Send(const Job& job) {
  // A connection of its own for each try: publications are rare, and one
  // kept from the last may have died with a Redis that restarted.
  RedisConnection connection(settings_, settings_.background_timeout);
  if (job.with_limits) {
    std::vector<Command> limits;
    {
      const std::lock_guard lock(mutex_);
      limits = limits_;
    }
    if (!limits.empty()) {
      connection.Run(limits);
    }
  }
  if (job.publication == nullptr) {
    SendChangedMeanwhile(connection);
    return;
  }
  const Publication& publication = *job.publication;
  // A republish sends what was kept as the game thread changed it: any
  // join recorded until now is in it.
  const std::int64_t sequence =
      job.with_limits ? MoveSequence(connection, keys_) : publication.sequence;
  // Teams this server held a contribution for and counts no more, and how
  // many grids a changed team's aggregate is summed over.
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
  const std::size_t teams_per_piece =
      TeamsPerPiece(static_cast<std::size_t>(std::max<long long>(held[1]->integer, 0)) + 1);
  {
    const std::lock_guard lock(mutex_);
    teams_per_piece_ = teams_per_piece;
  }
  SendPieces(connection, ReplaceCalls(keys_, publication.fields, publication.counts, dropped,
                                      sequence, teams_per_piece));
}

}  // namespace cairnward
