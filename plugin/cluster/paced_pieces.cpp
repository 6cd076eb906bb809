#include "cluster/paced_pieces.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace cairnward {
namespace {

// Pieces sent before the first answer is read: enough that Redis finds the
// next one waiting when it ends one. Redis reads a client's input a part at
// a time, so the pieces in flight do not keep it from other clients longer
// than one piece does.
constexpr std::size_t kPiecesInFlight = 3;
// How far beyond the piece of a fixed size the pacing may grow one: teams
// whose counts are as sent cost Redis one digest lookup.
constexpr std::size_t kGrowthOverFixed = 10;
// Counts a piece holds at most, whatever the pacing asks: a piece grown on
// teams that cost a lookup each must not stall Redis when the next teams
// all changed, each rewritten and summed field by field.
constexpr std::size_t kCountsPerPiece = 1000;

using Clock = std::chrono::steady_clock;

struct InFlight {
  std::size_t teams;
  Clock::time_point queued;
};

}  // namespace

ReplacePieces::ReplacePieces(const KeyNames& keys, std::span<const std::string> fields,
                             const ContributionsByTeam& counts, std::vector<std::int32_t> dropped,
                             std::int64_t sequence, SlotHeld slot)
    : keys_(keys),
      fields_(fields),
      dropped_(std::move(dropped)),
      next_(counts.begin()),
      end_(counts.end()),
      sequence_(sequence),
      slot_(std::move(slot)) {}

bool ReplacePieces::Done() const {
  return next_dropped_ == dropped_.size() && next_ == end_;
}

Command ReplacePieces::Next(std::size_t teams, std::size_t& taken) {
  Command piece = ReplacePiece(keys_, sequence_, slot_);
  taken = 0;
  std::size_t counts = 0;
  for (; taken < std::max<std::size_t>(teams, 1) && !Done() && counts < kCountsPerPiece; ++taken) {
    if (next_dropped_ < dropped_.size()) {
      AddReplacedTeam(piece, fields_, dropped_[next_dropped_++], {});
    } else {
      counts += next_->second.size();
      AddReplacedTeam(piece, fields_, next_->first, next_->second);
      ++next_;
    }
  }
  return piece;
}

PiecePacer::PiecePacer(std::size_t servers)
    : most_(TeamsPerPiece(servers) * kGrowthOverFixed),
      teams_(std::max<std::size_t>(TeamsPerPiece(servers) / 2, 1)) {}

void PiecePacer::Served(std::size_t teams, std::chrono::nanoseconds took) {
  if (teams == 0) {
    return;
  }
  const double per_team =
      std::max(1.0, static_cast<double>(took.count()) / static_cast<double>(teams));
  const auto fits = static_cast<std::size_t>(
      std::chrono::duration<double, std::nano>(kPieceTime).count() / per_team);
  // At most doubling at a time: one quick piece may have been a cheap one.
  teams_ = std::clamp<std::size_t>(fits, 1, std::min(most_, teams_ * 2));
}

void SendPaced(RedisConnection& connection, ReplacePieces& pieces, PiecePacer& pacer,
               const std::function<bool()>& stop,
               const std::function<void(const redisReply&)>& answered) {
  std::deque<InFlight> in_flight;
  Clock::time_point last_answer{};
  while (!in_flight.empty() || !pieces.Done()) {
    while (in_flight.size() < kPiecesInFlight && !pieces.Done() && !stop()) {
      std::size_t teams = 0;
      connection.QueueScript(Script::kReplace, pieces.Next(pacer.Teams(), teams));
      in_flight.push_back({teams, Clock::now()});
    }
    if (in_flight.empty()) {
      return;  // stopped
    }
    const Reply reply = connection.ReceiveScript();
    const auto now = Clock::now();
    // Redis began this piece when it ended the one before, or when the
    // piece came, whichever was later.
    pacer.Served(in_flight.front().teams, now - std::max(last_answer, in_flight.front().queued));
    last_answer = now;
    in_flight.pop_front();
    answered(*reply);
  }
}

}  // namespace cairnward
