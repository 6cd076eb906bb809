// cairnward-rcon-load: puts many RCON clients, well-behaved and hostile, on
// the development server at once, and reports what it answered, what it
// dropped, how its game thread kept up and how its memory grew.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "figures.h"
#include "load_run.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"Load the development server's RCON endpoint and report figures"};
  rcon_load::Plan plan;
  rcon_load::Launch launch;
  std::string root;
  std::string server_output;
  double max_rss_growth_mib = 0;
  int slow_pause_ms = static_cast<int>(plan.slow_pause.count());
  int time_limit_s = static_cast<int>(launch.time_limit.count());
  bool json = false;
  app.add_option("--devserver", launch.devserver, "The devserver executable")
      ->option_text("PATH")
      ->required()
      ->check(CLI::ExistingFile);
  app.add_option("--root", root, "Its server folder (default: the devserver's own)")
      ->option_text("DIR");
  app.add_option("--clients", plan.clients, "Well-behaved clients")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--commands", plan.commands, "Commands each well-behaved client sends")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--slow", plan.slow, "Clients that send a byte at a time")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--slow-pause-ms", slow_pause_ms, "Pause after each byte of a slow client")
      ->capture_default_str()
      ->check(CLI::Range(0, 900));
  app.add_option("--wrong-password", plan.wrong_password, "Clients that guess the password")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--half-open", plan.half_open, "Clients that send half a packet")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--garbage", plan.garbage, "Clients that send bytes that are no packet")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--over-cap", plan.over_cap, "Clients that come when every place is taken")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--squatters", plan.squatters,
                 "Clients that hold more places than their address may, unauthenticated")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--guessers", plan.guessers, "Clients that guess the password until banned")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  auto* max_growth = app.add_option("--max-rss-growth-mib", max_rss_growth_mib,
                                    "Fail when the server's peak RSS grows by more than this")
                         ->check(CLI::PositiveNumber);
  app.add_option("--time-limit", time_limit_s, "Give up after this many seconds")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--server-output", server_output, "Keep everything the server prints in FILE")
      ->option_text("FILE");
  app.add_flag("--json", json, "Print the figures as one JSON object");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (plan.MaxClients() == 0) {
    std::fprintf(stderr, "cairnward-rcon-load: no clients to run\n");
    return 2;
  }
  plan.slow_pause = std::chrono::milliseconds(slow_pause_ms);
  launch.time_limit = std::chrono::seconds(time_limit_s);
  if (max_growth->count() > 0) {
    plan.max_rss_growth_mib = max_rss_growth_mib;
  }
  if (!root.empty()) {
    launch.root = root;
  }
  if (!server_output.empty()) {
    launch.server_output = server_output;
  }
  // A server that dies must not take the run with it through its console pipe.
  std::signal(SIGPIPE, SIG_IGN);

  const rcon_load::Figures figures = rcon_load::RunLoad(plan, launch);
  const auto failures = rcon_load::Failures(plan, figures);
  if (json) {
    std::printf("%s\n", rcon_load::Json(plan, figures, failures).dump().c_str());
  } else {
    std::printf("%s", rcon_load::Table(plan, figures, failures).c_str());
  }
  return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cairnward-rcon-load: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "cairnward-rcon-load: unknown error\n");
  }
  return 2;
}
