#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace cluster_load {

// A redis-server of the run's own on a free loopback port, in a temporary
// folder, without persistence and with room for every grid's connections;
// stopped by its process id when the object goes.
class RedisProcess {
 public:
  explicit RedisProcess(const std::string& binary);
  ~RedisProcess();
  RedisProcess(const RedisProcess&) = delete;
  RedisProcess& operator=(const RedisProcess&) = delete;

  [[nodiscard]] int Port() const { return port_; }

 private:
  void Stop();

  std::filesystem::path dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace cluster_load
