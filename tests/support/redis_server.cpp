#include "support/redis_server.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace cairnward::testing {

std::string RedisServerBinary() {
  const char* dir = std::getenv("CAIRNWARD_REDIS_DIR");
  std::string binary;
  if (dir != nullptr) {
    std::ifstream file(std::filesystem::path(dir) / "server");
    std::getline(file, binary);
  }
  return binary.empty() ? "redis-server" : binary;
}

int SharedRedisPort() {
  const char* dir = std::getenv("CAIRNWARD_REDIS_DIR");
  if (dir == nullptr) {
    return 0;
  }
  int port = 0;
  std::ifstream(std::filesystem::path(dir) / "port") >> port;
  return port;
}

}  // namespace cairnward::testing
