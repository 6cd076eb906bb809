#include "cluster/publisher.h"

#include <algorithm>
#include <exception>
#include <span>
#include <utility>

namespace cairnward {
namespace {

// Pieces sent before their answers are read: enough to hide the round trips,
// few enough that sending them never waits on Redis working through the
// ones before, which the timeout would take for a stall.
constexpr std::size_t kPiecesInFlight = 4;

}  // namespace

Publisher::Publisher(ClusterSettings settings, KeyNames keys)
    : settings_(std::move(settings)), keys_(std::move(keys)), thread_([this] { Serve(); }) {}

Publisher::~Publisher() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Publisher::Publish(Publication publication) {
  {
    const std::lock_guard lock(mutex_);
    waiting_ = std::move(publication);
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

std::optional<PublicationRecord> Publisher::LastSent() {
  const std::lock_guard lock(mutex_);
  return last_sent_;
}

void Publisher::Serve() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [&] { return stopping_ || waiting_; });
    if (stopping_) {
      return;
    }
    const Publication publication = std::move(*std::exchange(waiting_, std::nullopt));
    lock.unlock();
    std::optional<std::string> failure;
    const auto started = std::chrono::steady_clock::now();
    // Nothing may leave the thread: a failure of any kind ends the
    // publication and takes the link down.
    try {
      Send(publication);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    lock.lock();
    if (!failure && !waiting_ && !stopping_) {
      last_sent_ = PublicationRecord{std::chrono::system_clock::now(), publication.counts.size(),
                                     std::chrono::steady_clock::now() - started};
    }
    if (!waiting_) {
      failure_ = std::move(failure);
      busy_ = false;
      ended_.notify_all();
    }
  }
}

bool Publisher::Superseded() {
  const std::lock_guard lock(mutex_);
  return stopping_ || waiting_.has_value();
}

void Publisher::Send(const Publication& publication) {
  // A connection of its own for each publication: publications are rare,
  // and one kept from the last may have died with a Redis that restarted.
  RedisConnection connection(settings_);
  // Teams this server held a contribution for and counts no more.
  const Reply held = connection.Run(Command{"SMEMBERS", keys_.ServerTeams()});
  std::vector<std::int32_t> dropped;
  for (std::size_t i = 0; i < held->elements; ++i) {
    const redisReply& member = *held->element[i];
    const std::int32_t team = TeamOfMember(std::string_view(member.str, member.len));
    if (publication.counts.find(team) == publication.counts.end()) {
      dropped.push_back(team);
    }
  }
  const std::vector<Command> pieces =
      ReplaceCalls(keys_, publication.fields, publication.counts, dropped);
  for (std::size_t first = 0; first < pieces.size(); first += kPiecesInFlight) {
    if (Superseded()) {
      return;
    }
    const std::size_t count = std::min(kPiecesInFlight, pieces.size() - first);
    connection.RunScripts(Script::kReplace, std::span<const Command>(pieces).subspan(first, count));
  }
}

}  // namespace cairnward
