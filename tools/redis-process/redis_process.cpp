#include "redis_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

namespace cairnward {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(port);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

[[noreturn]] void Exec(std::vector<std::string>& args, bool ends_with_parent) {
  if (ends_with_parent) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
  }
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  execvp(argv.front(), argv.data());
  _exit(127);
}

}  // namespace

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof(address);
  const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  if (!bound) {
    throw std::runtime_error("no free loopback port");
  }
  return ntohs(address.sin_port);
}

RedisProcess::RedisProcess(Options options) : options_(std::move(options)) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "cairnward-redis-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("no temporary folder");
  }
  dir_ = pattern;
  port_ = UnusedPort();
  Start();
}

RedisProcess::~RedisProcess() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void RedisProcess::Start() {
  std::vector<std::string> args{options_.binary,
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
  if (!options_.password.empty()) {
    args.insert(args.end(), {"--requirepass", options_.password});
  }
  args.insert(args.end(), options_.more.begin(), options_.more.end());
  pid_ = fork();
  if (pid_ == 0) {
    Exec(args, options_.ends_with_parent);
  }
  for (int i = 0; i < 500 && !Accepts(port_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!Accepts(port_)) {
    Stop();
    throw std::runtime_error(options_.binary + " did not start; its log is in " + dir_.string());
  }
}

void RedisProcess::Stop() {
  if (pid_ <= 0) {
    return;
  }
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void RedisProcess::Pause() {
  kill(pid_, SIGSTOP);
}

void RedisProcess::Resume() {
  kill(pid_, SIGCONT);
}

}  // namespace cairnward
