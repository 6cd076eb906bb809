#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace cairnward::testing {

// A redis-server (RedisServerBinary()) of the test's own, on a free loopback port in a temporary
// folder, without persistence, stopped by its process id. For the tests
// that stop, pause or restart Redis; the others share the one that the CTest
// fixture "redis" starts (SharedRedisPort).
class RedisServer {
 public:
  // Starts it, with a password when one is given.
  explicit RedisServer(std::string password = {});
  ~RedisServer();
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;

  [[nodiscard]] int Port() const { return port_; }

  void Stop();    // SIGTERM, and waits for it to end
  void Start();   // again on the same port, empty
  void Pause();   // SIGSTOP: it takes connections but answers nothing
  void Resume();  // SIGCONT

 private:
  std::filesystem::path dir_;
  std::string password_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A loopback port nobody listens on at the moment of asking.
int UnusedPort();

// The redis-server this run of the tests is for: the one the CTest fixture
// runs (named in its folder), else the one on PATH.
std::string RedisServerBinary();

// The port of the Redis started by the CTest fixture "redis" (its folder is
// in CAIRNWARD_REDIS_DIR); 0 when the test runs without it.
int SharedRedisPort();

}  // namespace cairnward::testing
