#include "grid.h"

#include <utility>

#include "cluster/local_counts_copy.h"
#include "cluster/redis_connection.h"
#include "cluster/script_calls.h"

namespace cluster_load {
namespace {

using cairnward::Command;
using cairnward::LinkDown;
using cairnward::Reply;
using cairnward::Script;

std::int32_t IntegerAt(const redisReply& reply, std::size_t i) {
  if (reply.type != REDIS_REPLY_ARRAY || i >= reply.elements) {
    return 0;
  }
  const redisReply& element = *reply.element[i];
  if (element.type == REDIS_REPLY_INTEGER) {
    return static_cast<std::int32_t>(element.integer);
  }
  return element.type == REDIS_REPLY_STRING ? std::atoi(element.str) : 0;
}

}  // namespace

Grid::Grid(const Shape& shape, const cairnward::ClusterSettings& settings, int index)
    : shape_(shape),
      index_(index),
      settings_(settings),
      keys_(settings.name, settings.server),
      publisher_(std::make_unique<cairnward::Publisher>(settings, keys_)),
      counts_(shape.WorldOf(index)) {
  cairnward::Publisher* publisher = publisher_.get();
  link_ = std::make_unique<cairnward::RedisLink>(settings, keys_,
                                                 [publisher] { publisher->Republish(); });
}

// The link first: its thread republishes through the publisher.
Grid::~Grid() {
  link_.reset();
  publisher_.reset();
}

void Grid::Load() {
  link_->Start();
  up_ = link_->Up();
  if (!up_) {
    Down();
    return;
  }
  try {
    PublishLimits(*link_);
  } catch (const LinkDown&) {
    Noted();
    return;
  }
  Publish();
}

cairnward::RedisLink* Grid::UsableLink() {
  if (link_->Poll()) {
    backs_ += 1;
    up_ = true;
    limits_version_.clear();
    Publish();
  }
  return link_->Up() ? link_.get() : nullptr;
}

void Grid::Publish() {
  publisher_->Publish({shape_.Fields(),
                       cairnward::LocalCountsCopy::OfTeams(counts_, shape_.Fields().size()),
                       link_->MoveSequence()});
}

void Grid::Noted() {
  if (up_ && !link_->Up()) {
    Down();
  }
  up_ = link_->Up();
}

void Grid::Down() {
  downs_ += 1;
  const std::lock_guard lock(reason_mutex_);
  last_reason_ = link_->Record().Take().reason;
}

void Grid::PublishLimits(cairnward::RedisLink& link) {
  // Named by their digest, as the plug-in names them: grids with the same
  // limits share the version, and with it the lean placement.
  std::string version = cairnward::LimitsVersion(shape_.Limits());
  std::vector<Command> calls = cairnward::LimitsCalls(keys_, version, shape_.Limits());
  // Kept first: a republish by the heartbeat then sends this version.
  publisher_->KeepLimits(calls);
  link.Run(calls);
  limits_version_ = std::move(version);
}

void Grid::CountHere(std::int32_t team, const std::vector<std::uint32_t>& positions,
                     std::int32_t change) {
  cairnward::TeamCountPairs& pairs = counts_[team];
  for (const std::uint32_t position : positions) {
    AddAt(pairs, position, change);
  }
  publisher_->Count(team, positions, change);
}

std::int32_t Grid::SomeTeam(std::mt19937_64& random) const {
  const int slots = static_cast<int>(counts_.size());
  return shape_.TeamOf(index_, static_cast<int>(random() % static_cast<std::uint64_t>(slots)));
}

std::optional<Judged> Grid::RunPlacement(cairnward::RedisLink& link, std::int32_t team,
                                         const std::vector<std::uint32_t>& positions) {
  std::vector<cairnward::CountedField> fields;
  fields.reserve(positions.size());
  for (const std::uint32_t position : positions) {
    const auto& [field, limit] = shape_.Limits()[position];
    fields.push_back({field, limit});
  }
  std::optional<Judged> judged;
  publisher_->Changing([&] {
    const Reply reply = link.RunScript(
        Script::kPlace, cairnward::PlaceCall(keys_, team, limits_version_,
                                             cairnward::JudgedBy::kEveryonesLimits, fields));
    const std::int32_t outcome = IntegerAt(*reply, 0);
    if (outcome < 0) {
      return;  // the limits are gone (-1), or a value is not a count (-2)
    }
    judged = outcome == 0 ? Judged::kAllowed : Judged::kRefused;
    if (outcome == 0) {
      CountHere(team, positions, +1);
    }
  });
  return judged;
}

// As the plug-in's final placement: a second try when Redis no longer
// holds this grid's limits, after publishing them and the contribution.
Judged Grid::Place(std::mt19937_64& random) {
  const std::int32_t team = SomeTeam(random);
  const std::vector<std::uint32_t> positions =
      shape_.CountedAt(Shape::BlueprintOf(team, random() % Shape::kBlueprintsPerTeam));
  try {
    cairnward::RedisLink* link = UsableLink();
    for (int attempt = 0; link != nullptr && attempt < 2; ++attempt) {
      if (limits_version_.empty()) {
        PublishLimits(*link);
      }
      if (const std::optional<Judged> judged = RunPlacement(*link, team, positions)) {
        return *judged;
      }
      limits_version_.clear();
      publisher_->Republish();
      publisher_->Wait(settings_.timeout / 2);
      if (publisher_->Busy()) {
        break;
      }
    }
  } catch (const LinkDown&) {
    Noted();
  }
  CountHere(team, positions, +1);
  return Judged::kLocally;
}

void Grid::Remove(std::mt19937_64& random) {
  const std::int32_t team = SomeTeam(random);
  const cairnward::TeamCountPairs& pairs = counts_[team];
  if (pairs.size() < 2) {
    return;
  }
  // A blueprint the team has here: a position after the total, before the groups.
  const std::uint32_t position = pairs[1 + random() % (pairs.size() - 1)].first;
  if (position > Shape::kBlueprints) {
    return;
  }
  const std::vector<std::uint32_t> positions = shape_.CountedAt(position - 1);
  std::vector<std::pair<std::string, std::int32_t>> changes;
  changes.reserve(positions.size());
  for (const std::uint32_t at : positions) {
    changes.emplace_back(shape_.Fields()[at], -1);
  }
  cairnward::RedisLink* link = UsableLink();
  if (link == nullptr) {
    CountHere(team, positions, -1);
    return;
  }
  try {
    publisher_->Changing([&] {
      CountHere(team, positions, -1);
      link->RunScript(Script::kChange, cairnward::ChangeCall(keys_, team, changes));
    });
  } catch (const LinkDown&) {
    Noted();
  }
}

void Grid::ReadStanding(std::mt19937_64& random) {
  if (cairnward::RedisLink* link = UsableLink()) {
    try {
      link->Run(Command{"HGETALL", keys_.Aggregate(SomeTeam(random))});
    } catch (const LinkDown&) {
      Noted();
    }
  }
}

void Grid::CheckMerge(std::mt19937_64& random) {
  if (cairnward::RedisLink* link = UsableLink()) {
    try {
      link->Run(std::vector<Command>{{"HGETALL", keys_.Aggregate(SomeTeam(random))},
                                     {"HGETALL", keys_.Aggregate(SomeTeam(random))}});
    } catch (const LinkDown&) {
      Noted();
    }
  }
}

void Grid::Join(std::mt19937_64& random) {
  const std::int32_t from = SomeTeam(random);
  const std::int32_t to = SomeTeam(random);
  cairnward::RedisLink* link = UsableLink();
  if (link == nullptr || from == to) {
    return;
  }
  try {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (limits_version_.empty()) {
        PublishLimits(*link);
      }
      bool moved = false;
      publisher_->Changing([&] {
        const Reply reply = link->RunScript(
            Script::kJoin, cairnward::JoinCall(keys_, from, to, limits_version_, true));
        const std::int32_t outcome = IntegerAt(*reply, 0);
        if (outcome == 0) {
          publisher_->Move(from, to);
          cairnward::TeamCountPairs gone = std::exchange(counts_[from], {});
          for (const auto& [position, count] : gone) {
            AddAt(counts_[to], position, count);
          }
        }
        moved = outcome >= 0;
      });
      if (moved) {
        return;
      }
      limits_version_.clear();
    }
  } catch (const LinkDown&) {
    Noted();
  }
}

bool Grid::AllIn(std::chrono::system_clock::time_point since) {
  if (publisher_->Busy()) {
    return false;
  }
  const std::optional<cairnward::PublicationRecord> last = publisher_->LastSent();
  return last && last->ended >= since;
}

}  // namespace cluster_load
