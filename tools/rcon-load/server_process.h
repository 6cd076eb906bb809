#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio.hpp>

namespace rcon_load {

// The development server as a child process: its console on a pipe, its
// standard output and error read line by line, all on one io_context. Its
// output is always drained, so that its game thread never waits on a full
// pipe while it is being measured.
class ServerProcess {
 public:
  using LineHandler = std::function<void(std::string_view line)>;

  // Starts `argv` (argv[0] is the executable); throws std::runtime_error
  // when it cannot be started.
  ServerProcess(asio::io_context& context, const std::vector<std::string>& argv,
                LineHandler on_stdout, LineHandler on_stderr);
  // Kills the process when it is still running.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Queues a console line; never waits for the pipe.
  void Type(std::string line);
  // Ends the console's input once the queued lines are written.
  void EndInput();

  // Peak resident memory so far (VmHWM), in KiB; nullopt once it is gone.
  [[nodiscard]] std::optional<long> PeakRssKib() const;

  // Waits for the exit and returns its status; -1 for a signal or when it
  // had to be killed after `within`.
  asio::awaitable<int> AwaitExit(std::chrono::milliseconds within);

 private:
  asio::awaitable<void> ReadLines(asio::posix::stream_descriptor& from, LineHandler handler);
  void WriteNext();

  asio::io_context& context_;
  pid_t pid_ = -1;
  asio::posix::stream_descriptor input_;
  asio::posix::stream_descriptor output_;
  asio::posix::stream_descriptor errors_;
  std::deque<std::string> queued_;
  bool writing_ = false;
  bool end_input_ = false;
};

}  // namespace rcon_load
