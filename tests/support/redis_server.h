#pragma once

#include <string>
#include <utility>

#include "redis_process.h"

namespace cairnward::testing {

// The redis-server this run of the tests is for: the one the CTest fixture
// runs (named in its folder), else the one on PATH.
std::string RedisServerBinary();

// A redis-server (RedisServerBinary()) of the test's own, on a free loopback port in a temporary
// folder, without persistence, stopped by its process id. For the tests
// that stop, pause or restart Redis; the others share the one that the CTest
// fixture "redis" starts (SharedRedisPort).
class RedisServer : public RedisProcess {
 public:
  // Starts it, with a password when one is given.
  explicit RedisServer(std::string password = {})
      : RedisProcess({.binary = RedisServerBinary(),
                      .password = std::move(password),
                      .more = {},
                      .ends_with_parent = false}) {}
};

using cairnward::UnusedPort;

// The port of the Redis started by the CTest fixture "redis" (its folder is
// in CAIRNWARD_REDIS_DIR); 0 when the test runs without it.
int SharedRedisPort();

}  // namespace cairnward::testing
