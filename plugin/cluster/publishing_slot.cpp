#include "cluster/publishing_slot.h"

#include <exception>

#include "cluster/lease.h"

namespace cairnward {

PublishingSlot::PublishingSlot(RedisConnection& connection, const KeyNames& keys)
    : connection_(connection), prefix_(keys.Prefix() + "publishing:"), holder_(NewHolderId()) {}

PublishingSlot::~PublishingSlot() {
  if (held_.key.empty()) {
    return;
  }
  try {
    ReleaseIfHeld(connection_, held_.key, held_.holder);
  } catch (const std::exception&) {
    // The slot lapses on its own.
  }
}

bool PublishingSlot::TryTake() {
  if (!held_.key.empty()) {
    return true;
  }
  const std::string held_for = std::to_string(kSlotHeldFor.count());
  for (int slot = 1; slot <= kPublishingSlots; ++slot) {
    std::string key = prefix_ + std::to_string(slot);
    const Reply taken = connection_.Run(Command{"SET", key, holder_, "NX", "PX", held_for});
    if (taken->type == REDIS_REPLY_STATUS) {
      held_ = {std::move(key), holder_};
      return true;
    }
  }
  return false;
}

}  // namespace cairnward
