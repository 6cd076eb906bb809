#pragma once

#include <chrono>
#include <string>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"
#include "cluster/script_calls.h"

namespace cairnward {

// The publications of a cluster's grids take turns: at most
// kPublishingSlots send at once, each holding a slot key
// ("<prefix>publishing:<n>", its holder's id) that each of its replace
// pieces keeps for kSlotHeldFor more. Hundreds of grids refilling an emptied
// Redis then wait at their own grid, not in Redis's queue, where every
// placement of every grid would wait behind their pieces. A holder that
// stops without giving its slot back loses it after kSlotHeldFor.
inline constexpr int kPublishingSlots = 1;
inline constexpr std::chrono::milliseconds kSlotHeldFor{1000};

// One publication's slot, given back when it ends.
class PublishingSlot {
 public:
  PublishingSlot(RedisConnection& connection, const KeyNames& keys);
  ~PublishingSlot();
  PublishingSlot(const PublishingSlot&) = delete;
  PublishingSlot& operator=(const PublishingSlot&) = delete;

  // Tries every slot once; whether one is held now.
  bool TryTake();
  [[nodiscard]] const SlotHeld& Held() const { return held_; }

 private:
  RedisConnection& connection_;
  std::string prefix_;
  std::string holder_;
  SlotHeld held_;
};

}  // namespace cairnward
