#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"
#include "cluster/script_calls.h"

namespace cairnward {

// A publication's replace calls, made one at a time as they are sent, each of
// as many teams as the pacing asks for: the dropped teams first, then those
// with counts.
class ReplacePieces {
 public:
  ReplacePieces(const KeyNames& keys, std::span<const std::string> fields,
                const ContributionsByTeam& counts, std::vector<std::int32_t> dropped,
                std::int64_t sequence, SlotHeld slot = {});

  [[nodiscard]] bool Done() const;
  // The next call, of at most `teams` teams (at least one) and about
  // kCountsPerPiece counts; how many teams it holds
  // goes to `taken`.
  Command Next(std::size_t teams, std::size_t& taken);

 private:
  const KeyNames& keys_;
  std::span<const std::string> fields_;
  std::vector<std::int32_t> dropped_;
  std::size_t next_dropped_ = 0;
  ContributionsByTeam::const_iterator next_;
  ContributionsByTeam::const_iterator end_;
  std::int64_t sequence_;
  SlotHeld slot_;
};

// How many teams the next piece holds, from the time Redis took for the
// teams of the pieces before: each piece aims at kPieceTime of Redis's time,
// so that it serves the other grids between pieces, however costly a team is
// (changed or unchanged, one grid or hundreds to sum over).
class PiecePacer {
 public:
  static constexpr std::chrono::microseconds kPieceTime{1000};

  // `servers`: the grids a changed team's aggregate is summed over.
  explicit PiecePacer(std::size_t servers);

  [[nodiscard]] std::size_t Teams() const { return teams_; }
  // A piece of `teams` teams took Redis `took`.
  void Served(std::size_t teams, std::chrono::nanoseconds took);

 private:
  std::size_t most_;
  std::size_t teams_;
};

// Sends every piece with a few in flight, so that Redis never waits for the
// next one, paced by `pacer`; hands each answer to `answered`; stops between
// pieces once `stop` says so (what is in flight still runs).
void SendPaced(RedisConnection& connection, ReplacePieces& pieces, PiecePacer& pacer,
               const std::function<bool()>& stop,
               const std::function<void(const redisReply&)>& answered);

}  // namespace cairnward
