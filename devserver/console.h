#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "args.h"
#include "events.h"

namespace devserver {

// The server console: runs each line as a command on the calling (game)
// thread, reports what fails and goes on.
class Console {
 public:
  using Handler = std::function<void(Args&)>;

  explicit Console(EventOutput& out) : out_(out) {}

  // Whether a transcript shows the command before its output. Narration
  // hides it: its output is the line's own text.
  enum class Echo { kShow, kHide };

  // `name` is one word ("quit") or two ("plugin load"); `usage` shows the
  // arguments and is printed with an argument error.
  void Add(const std::string& name, std::string usage, Handler handler, Echo echo = Echo::kShow);

  // The usage of every command, one line each, in the order of their names:
  // what `help` prints, read from the table that dispatches them.
  [[nodiscard]] std::vector<std::string> Usages() const;

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
    Echo echo = Echo::kShow;
  };
  using Commands = std::map<std::string, Command>;

  // The command a line starts with, the longest name first ("plugin load"
  // before "plugin"), and how many words name it; end() when none.
  [[nodiscard]] std::pair<Commands::const_iterator, std::size_t> Find(
      const std::vector<std::string>& words) const;
  void Dispatch(std::vector<std::string> words, int line_number);
  [[nodiscard]] std::string SubcommandsOf(const std::string& word) const;

  EventOutput& out_;
  Commands commands_;
  std::function<void()> after_each_line_;
  bool echo_ = false;
  bool quit_ = false;
};

}  // namespace devserver
