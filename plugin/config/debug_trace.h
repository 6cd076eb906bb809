#pragma once

#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace cairnward {

// Whether "Debug" is true in the configuration, read afresh each time.
bool DebugTraceOn();

// Writes one line to standard output, unconditionally.
void WriteTraceLine(std::string_view text);

// One trace line on standard output while "Debug" is true; never to the log.
inline void DebugTrace(std::string_view text) {
  if (DebugTraceOn()) {
    WriteTraceLine(text);
  }
}

// The rules that open and close trace blocks.
inline constexpr std::string_view kTraceOpeningRule = "_________________________________________";
inline constexpr std::string_view kTraceClosingRule = "|________________________________________";

// The seven-line banner: the opening rule, two bars, the title, two bars, and
// the closing rule.
void TraceBanner(std::string_view title);

// One trace line between two bars.
void TraceFramed(std::string_view text);

// The same, with values put into the line; nothing is formatted while off.
template <typename Arg, typename... Rest>
void DebugTrace(fmt::format_string<Arg, Rest...> format, Arg&& arg, Rest&&... rest) {
  if (DebugTraceOn()) {
    WriteTraceLine(fmt::format(format, std::forward<Arg>(arg), std::forward<Rest>(rest)...));
  }
}

// The switch read once for the lines of one routine: nothing a routine calls
// reloads the configuration, so "Debug" cannot change between its lines, and
// while it is off no line is formatted at all.
class TraceLines {
 public:
  TraceLines() : on_(DebugTraceOn()) {}

  [[nodiscard]] bool On() const { return on_; }

  void operator()(std::string_view text) const {
    if (on_) {
      WriteTraceLine(text);
    }
  }

  template <typename Arg, typename... Rest>
  void operator()(fmt::format_string<Arg, Rest...> format, Arg&& arg, Rest&&... rest) const {
    if (on_) {
      WriteTraceLine(fmt::format(format, std::forward<Arg>(arg), std::forward<Rest>(rest)...));
    }
  }

  // TraceBanner's seven lines and TraceFramed's three.
  void Banner(std::string_view title) const;
  void Framed(std::string_view text) const;

 private:
  bool on_;
};

}  // namespace cairnward
