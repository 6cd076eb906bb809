#include "cluster/lease.h"

#include <fmt/format.h>

#include <random>

namespace cairnward {
namespace {

// KEYS: the lease. ARGV: the instance id, the lease time in ms. Renews the
// lease when it holds the id; answers 1 then, else the holder's id, or 0
// when nobody holds it. SET rather than PEXPIRE: a renewal is refused
// where Redis refuses writes (maxmemory reached), so the heartbeat never
// passes on a Redis that cannot take this server's counts.
constexpr std::string_view kRenewSource = R"lua(
local holder = redis.call('GET', KEYS[1])
if holder == ARGV[1] then
  redis.call('SET', KEYS[1], ARGV[1], 'PX', ARGV[2])
  return 1
end
if holder then
  return holder
end
return 0
)lua";

// KEYS: a key. ARGV: an id. Deletes the key if it holds the id.
constexpr std::string_view kReleaseSource = R"lua(
if redis.call('GET', KEYS[1]) == ARGV[1] then
  redis.call('DEL', KEYS[1])
end
return 0
)lua";

}  // namespace

std::string NewHolderId() {
  std::random_device random;
  return fmt::format("{:08x}{:08x}", random(), random());
}

void ReleaseIfHeld(RedisConnection& connection, const std::string& key, const std::string& id) {
  connection.Run(Command{"EVAL", std::string(kReleaseSource), "1", key, id});
}

Lease::Lease(const KeyNames& keys, std::chrono::milliseconds duration)
    : key_(keys.Lease()), id_(NewHolderId()), duration_(std::to_string(duration.count())) {}

Command Lease::RenewCall() const {
  return {"EVAL", std::string(kRenewSource), "1", key_, id_, duration_};
}

Lease::Hold Lease::Renewed(RedisConnection& connection, const redisReply& renewed) const {
  if (renewed.type == REDIS_REPLY_INTEGER && renewed.integer == 1) {
    return {Outcome::kKept, id_};
  }
  if (renewed.type == REDIS_REPLY_STRING) {
    return {Outcome::kRefused, std::string(renewed.str, renewed.len)};
  }
  const Reply taken = connection.Run(Command{"SET", key_, id_, "NX", "PX", duration_});
  if (taken->type == REDIS_REPLY_STATUS) {
    return {Outcome::kTaken, id_};
  }
  // Another instance took it between the two.
  const Reply holder = connection.Run(Command{"GET", key_});
  return {Outcome::kRefused,
          holder->type == REDIS_REPLY_STRING ? std::string(holder->str, holder->len) : ""};
}

void Lease::Release(RedisConnection& connection) const {
  ReleaseIfHeld(connection, key_, id_);
}

}  // namespace cairnward
