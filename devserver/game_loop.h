#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <istream>
#include <mutex>
#include <thread>
#include <vector>

#include "console.h"

namespace devserver {

// The game thread's queue. Everything that touches the server or the
// plug-in (console lines, commands from RCON clients) runs on the thread in
// Run, one piece at a time, in the order it was posted, as in a game server,
// whose plug-ins are only ever called on its game thread.
class GameLoop {
 public:
  // From any thread. Work posted once the loop has stopped is dropped.
  void Post(std::function<void()> work);
  // Runs posted work on the calling thread until Stop.
  void Run();
  // From any thread: Run returns after the work at hand; queued work is dropped.
  void Stop();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool stopped_ = false;
};

struct ConsoleInput {
  std::istream* stream;
  bool echo;  // echo each command, as for a script or a pipe
};

// Reads console lines on a thread of its own and has the game loop run them.
// The next line is read only once the last one has run, so nothing is read
// past a quit. The inputs are read one after the other; the loop stops at a
// quit or after the end of the last one.
class ConsoleReader {
 public:
  ConsoleReader(GameLoop& loop, Console& console, std::vector<ConsoleInput> inputs);
  // Stops the loop and waits for the reader.
  ~ConsoleReader();
  ConsoleReader(const ConsoleReader&) = delete;
  ConsoleReader& operator=(const ConsoleReader&) = delete;

 private:
  void Read();

  GameLoop& loop_;
  Console& console_;
  std::vector<ConsoleInput> inputs_;
  std::thread thread_;
};

}  // namespace devserver
