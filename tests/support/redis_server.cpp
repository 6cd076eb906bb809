#include "support/redis_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace cairnward::testing {
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

namespace {

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

}  // namespace

RedisServer::RedisServer(std::string password) : password_(std::move(password)) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "cairnward-redis-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("no temporary folder");
  }
  dir_ = pattern;
  port_ = UnusedPort();
  Start();
}

RedisServer::~RedisServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void RedisServer::Start() {
  std::vector<std::string> args{RedisServerBinary(),
                                "--port",
                                std::to_string(port_),
                                "--bind",
                                "127.0.0.1",
                                "--save",
                                "",
                                "--appendonly",
                                "no",
                                "--dir",
                                dir_.string(),
                                "--logfile",
                                (dir_ / "redis.log").string()};
  if (!password_.empty()) {
    args.insert(args.end(), {"--requirepass", password_});
  }
  pid_ = fork();
  if (pid_ == 0) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    execvp(argv.front(), argv.data());
    _exit(127);
  }
  for (int i = 0; i < 500 && !Accepts(port_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!Accepts(port_)) {
    Stop();
    throw std::runtime_error("redis-server did not start");
  }
}

void RedisServer::Stop() {
  if (pid_ <= 0) {
    return;
  }
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void RedisServer::Pause() {
  kill(pid_, SIGSTOP);
}

void RedisServer::Resume() {
  kill(pid_, SIGCONT);
}

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
