#pragma once

#include <charconv>
#include <cstddef>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace devserver {

// A console line that cannot be carried out: a missing file, a player that
// is not there. The console reports it and goes on with the next line.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Arguments that do not fit the command; reported together with its usage.
class UsageError : public CommandError {
 public:
  using CommandError::CommandError;
};

// Splits a console line into words at blanks. A word in double quotes may hold
// blanks and '#' (backslash escapes the next character there); outside quotes
// '#' starts a comment. Throws UsageError on an unterminated quote.
std::vector<std::string> SplitLine(std::string_view line);

// A whole number written in decimal, within [min, max]. `what` names the value
// in the error ("team", "count").
template <typename Int>
Int ParseNumber(std::string_view text, std::string_view what,
                Int min = std::numeric_limits<Int>::min(),
                Int max = std::numeric_limits<Int>::max()) {
  Int value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error == std::errc::invalid_argument || stop != end) {
    throw UsageError(std::string(what) + " must be a whole number, not \"" + std::string(text) +
                     "\"");
  }
  if (error == std::errc::result_out_of_range || value < min || value > max) {
    throw UsageError(std::string(what) + " must be between " + std::to_string(min) + " and " +
                     std::to_string(max) + ", not " + std::string(text));
  }
  return value;
}

// The words of one command after its name. Handlers take what they expect,
// then call Finish, so that a misspelt or stray argument is an error rather
// than silently ignored. Words of the form key=value are looked up by key;
// the others are taken in order. A key given twice is an error once it is
// looked up, so that free text may hold anything.
class Args {
 public:
  explicit Args(std::vector<std::string> words);

  // The next plain word; `what` names it in the error when there is none.
  std::string Word(std::string_view what);
  // The value of key=value, if given.
  std::optional<std::string> Value(std::string_view key);
  // Whether the plain word `flag` was given (e.g. "admin").
  bool Flag(std::string_view flag);
  // Every word not taken yet, in order, joined by single blanks, key=value
  // words as written: free text such as a chat line. Empty when none is left.
  std::string Rest();
  // The same where the text is required; `what` names it in the error.
  std::string RequiredRest(std::string_view what);

  template <typename Int>
  Int Number(std::string_view key, Int min = std::numeric_limits<Int>::min(),
             Int max = std::numeric_limits<Int>::max()) {
    const auto text = Value(key);
    if (!text) {
      throw UsageError("missing " + std::string(key) + "=N");
    }
    return ParseNumber<Int>(*text, key, min, max);
  }

  template <typename Int>
  Int NumberOr(std::string_view key, Int fallback, Int min = std::numeric_limits<Int>::min(),
               Int max = std::numeric_limits<Int>::max()) {
    const auto text = Value(key);
    return text ? ParseNumber<Int>(*text, key, min, max) : fallback;
  }

  // Throws when a word was left untaken.
  void Finish() const;

 private:
  struct Entry {
    std::string key;  // empty for a plain word
    std::string value;
    bool taken = false;
    // The word as it stood on the line.
    [[nodiscard]] std::string Written() const { return key.empty() ? value : key + "=" + value; }
  };
  std::vector<Entry> entries_;
};

}  // namespace devserver
