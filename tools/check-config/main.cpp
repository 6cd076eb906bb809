// cairnward-check-config: reads a config.json as the plug-in does and tells
// every problem the plug-in would meet with it, at load or later.
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "check.h"
#include "report.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{
      "Checks a Cairnward config.json: reads it as the plug-in does and reports every problem "
      "the plug-in would meet with it.\nExit status: 0 when the plug-in runs with it without a "
      "config error, 1 when it would not (or, with --strict, on any warning), 2 when the check "
      "cannot be made (a wrong command line)."};
  std::string path;
  bool json = false;
  bool strict = false;
  app.add_option("PATH", path, "The config.json to check")->required();
  app.add_flag("--json", json, "Write the report as one JSON object");
  app.add_flag("--strict", strict, "Warnings fail too");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  const auto problems = checkconfig::CheckConfigFile(path);
  if (json) {
    // The path comes from the command line and need not be UTF-8.
    std::cout << checkconfig::JsonReport(path, problems)
                     .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
              << '\n';
  } else {
    std::cout << checkconfig::TextReport(path, problems);
  }
  return checkconfig::ExitStatus(problems, strict);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cairnward-check-config: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "cairnward-check-config: unknown error\n");
  }
  return 2;
}
