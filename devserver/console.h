#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "args.h"
#include "events.h"

namespace devserver {

// The server console: runs each line as a command on the calling (game)
// thread, reports what fails and goes on.
class Console {
 public:
  using Handler = std::function<void(Args&)>;

  explicit Console(EventOutput& out) : out_(out) {}

  // `name` is one word ("quit") or two ("plugin load"); `usage` shows the
  // arguments and is printed with an argument error.
  void Add(const std::string& name, std::string usage, Handler handler);

  // Runs after every line, whatever it did.
  void AfterEachLine(std::function<void()> hook) { after_each_line_ = std::move(hook); }

  // One line; `line_number` counts from 1 and appears in errors.
  void RunLine(std::string_view line, int line_number);

  // Print each command before running it, so that the output of a script
  // reads as a transcript.
  void EchoCommands(bool echo) { echo_ = echo; }

  void Quit() { quit_ = true; }
  [[nodiscard]] bool QuitRequested() const { return quit_; }

 private:
  struct Command {
    std::string usage;
    Handler handler;
  };

  void Dispatch(std::vector<std::string> words, int line_number);
  [[nodiscard]] std::string SubcommandsOf(const std::string& word) const;

  EventOutput& out_;
  std::map<std::string, Command> commands_;
  std::function<void()> after_each_line_;
  bool echo_ = false;
  bool quit_ = false;
};

}  // namespace devserver
