#include "report.h"

#include <algorithm>

#include <fmt/format.h>

namespace checkconfig {
namespace {

std::string_view SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

std::size_t CountOf(const std::vector<Problem>& problems, Severity severity) {
  return static_cast<std::size_t>(std::count_if(
      problems.begin(), problems.end(), [&](const Problem& p) { return p.severity == severity; }));
}

// Member names and quoted texts may hold any character: control
// characters are written as JSON writes them, so that each problem stays
// one line of plain text.
std::string Printable(std::string_view text) {
  std::string printable;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      printable += fmt::format("\\u{:04x}", byte);
    } else {
      printable += c;
    }
  }
  return printable;
}

std::string Plural(std::size_t n, std::string_view word) {
  return fmt::format("{} {}{}", n, word, n == 1 ? "" : "s");
}

}  // namespace

std::string TextReport(const std::string& file, const std::vector<Problem>& problems) {
  std::string report;
  for (const Problem& problem : problems) {
    report += file;
    if (problem.position) {
      report += fmt::format(":{}:{}", problem.position->line, problem.position->column);
    }
    report += fmt::format(": {}: {}\n", SeverityName(problem.severity), Printable(problem.message));
  }
  if (problems.empty()) {
    return report + file + ": no problems found\n";
  }
  return report + fmt::format("{}: {}, {}\n", file,
                              Plural(CountOf(problems, Severity::kError), "error"),
                              Plural(CountOf(problems, Severity::kWarning), "warning"));
}

nlohmann::json JsonReport(const std::string& file, const std::vector<Problem>& problems) {
  nlohmann::json list = nlohmann::json::array();
  for (const Problem& problem : problems) {
    nlohmann::json entry = {{"severity", SeverityName(problem.severity)},
                            {"pointer", problem.pointer}};
    if (problem.position) {
      entry["line"] = problem.position->line;
      entry["column"] = problem.position->column;
    }
    entry["message"] = problem.message;
    list.push_back(std::move(entry));
  }
  return {{"file", file},
          {"errors", CountOf(problems, Severity::kError)},
          {"warnings", CountOf(problems, Severity::kWarning)},
          {"problems", std::move(list)}};
}

int ExitStatus(const std::vector<Problem>& problems, bool strict) {
  const bool failed = CountOf(problems, Severity::kError) > 0 || (strict && !problems.empty());
  return failed ? 1 : 0;
}

}  // namespace checkconfig
