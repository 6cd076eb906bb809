#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace cairnward {

// A redis-server of a run's own on a free loopback port, in a temporary
// folder, without persistence; stopped by its process id when the object
// goes. The tests, the benchmarks and the cluster load tool each start
// theirs this way, so none needs a Redis already running.
class RedisProcess {
 public:
  struct Options {
    std::string binary = "redis-server";
    std::string password;           // none when empty
    std::vector<std::string> more;  // further arguments, e.g. "--maxclients" "10000"
    bool ends_with_parent = false;  // also stopped when the starting process dies
  };

  explicit RedisProcess(Options options);
  ~RedisProcess();
  RedisProcess(const RedisProcess&) = delete;
  RedisProcess& operator=(const RedisProcess&) = delete;

  [[nodiscard]] int Port() const { return port_; }
  [[nodiscard]] const std::filesystem::path& Folder() const { return dir_; }

  void Stop();    // SIGTERM, and waits for it to end
  void Start();   // again on the same port, empty
  void Pause();   // SIGSTOP: it takes connections but answers nothing
  void Resume();  // SIGCONT

 private:
  Options options_;
  std::filesystem::path dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A loopback port nobody listens on at the moment of asking.
int UnusedPort();

}  // namespace cairnward
