#pragma once

#include <chrono>
#include <string>

#include "cluster/key_names.h"
#include "cluster/redis_connection.h"

namespace cairnward {

// This server's hold on its "Server" name: the key
// cairnward:<Name>:server:<Server>:lease holds the instance id of the
// plug-in that runs under the name, made at each load, and expires after
// "LeaseMs" unless the heartbeat renews it. A grid is live while its lease
// exists; a second instance under the same name is refused until it expires.
class Lease {
 public:
  enum class Outcome {
    kTaken,    // the name was free: Redis holds nothing of ours it held before
    kKept,     // it was ours still, and is renewed
    kRefused,  // another live instance holds it
  };
  struct Hold {
    Outcome outcome = Outcome::kRefused;
    std::string holder;  // the instance id of the one that holds it
  };

  Lease(const KeyNames& keys, std::chrono::milliseconds duration);

  // The call that renews the name while it is still ours, to be sent with
  // others in one round trip. A write, so it fails (LinkDown) wherever Redis
  // refuses writes.
  [[nodiscard]] Command RenewCall() const;
  // What the answer to RenewCall means; takes the name when it was free.
  Hold Renewed(RedisConnection& connection, const redisReply& renewed) const;
  // Gives the name up if it is still ours.
  void Release(RedisConnection& connection) const;

  [[nodiscard]] const std::string& Id() const { return id_; }

 private:
  std::string key_;
  std::string id_;
  std::string duration_;
};

// A random id for one holder of a key (a lease, a publishing slot).
std::string NewHolderId();
// Deletes `key` if it still holds `id`.
void ReleaseIfHeld(RedisConnection& connection, const std::string& key, const std::string& id);

}  // namespace cairnward
