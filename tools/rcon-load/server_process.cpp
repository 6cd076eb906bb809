#include "server_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>

extern char** environ;

namespace rcon_load {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
};

// Both ends close on exec; the child gets its end through dup2, which
// clears that flag on the copy.
Pipe MakePipe() {
  std::array<int, 2> ends{};
  if (pipe2(ends.data(), O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  return {ends[0], ends[1]};
}

}  // namespace

ServerProcess::ServerProcess(asio::io_context& context, const std::vector<std::string>& argv,
                             LineHandler on_stdout, LineHandler on_stderr)
    : context_(context), input_(context), output_(context), errors_(context) {
  const Pipe console = MakePipe();
  const Pipe out = MakePipe();
  const Pipe err = MakePipe();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, console.read, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  pointers.reserve(args.size() + 1);
  for (auto& arg : args) {
    pointers.push_back(arg.data());
  }
  pointers.push_back(nullptr);
  const int failed = posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(console.read);
  close(out.write);
  close(err.write);
  input_.assign(console.write);
  output_.assign(out.read);
  errors_.assign(err.read);
  if (failed != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " +
                             std::generic_category().message(failed));
  }
  asio::co_spawn(context_, ReadLines(output_, std::move(on_stdout)), asio::detached);
  asio::co_spawn(context_, ReadLines(errors_, std::move(on_stderr)), asio::detached);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ServerProcess::Type(std::string line) {
  queued_.push_back(std::move(line) + "\n");
  if (!writing_) {
    WriteNext();
  }
}

void ServerProcess::EndInput() {
  end_input_ = true;
  if (!writing_) {
    WriteNext();
  }
}

void ServerProcess::WriteNext() {
  if (queued_.empty()) {
    writing_ = false;
    if (end_input_) {
      asio::error_code ignored;
      input_.close(ignored);
    }
    return;
  }
  writing_ = true;
  asio::async_write(input_, asio::buffer(queued_.front()),
                    [this](const asio::error_code& error, std::size_t /*bytes*/) {
                      if (error) {
                        // The server is gone; its exit tells the rest.
                        queued_.clear();
                        writing_ = false;
                        return;
                      }
                      queued_.pop_front();
                      WriteNext();
                    });
}

asio::awaitable<void> ServerProcess::ReadLines(asio::posix::stream_descriptor& from,
                                               LineHandler handler) {
  std::string buffer;
  while (true) {
    asio::error_code error;
    const std::size_t length = co_await asio::async_read_until(
        from, asio::dynamic_buffer(buffer), '\n', asio::redirect_error(asio::use_awaitable, error));
    if (error) {
      if (!buffer.empty()) {
        handler(buffer);
      }
      co_return;
    }
    handler(std::string_view(buffer).substr(0, length - 1));
    buffer.erase(0, length);
  }
}

std::optional<long> ServerProcess::PeakRssKib() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return std::nullopt;
}

asio::awaitable<int> ServerProcess::AwaitExit(std::chrono::milliseconds within) {
  if (pid_ <= 0) {
    co_return -1;
  }
  asio::steady_timer poll(context_);
  const auto deadline = std::chrono::steady_clock::now() + within;
  int status = 0;
  pid_t reaped = 0;
  while ((reaped = waitpid(pid_, &status, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      co_return -1;
    }
    poll.expires_after(std::chrono::milliseconds(20));
    co_await poll.async_wait(asio::use_awaitable);
  }
  pid_ = -1;
  co_return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace rcon_load
