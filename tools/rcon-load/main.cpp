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

// What the command line gives, before it is turned into the plan and the
// launch: durations are whole numbers on it.
struct CommandLine {
  rcon_load::Plan plan;
  rcon_load::Launch launch;
  std::string root;
  std::string server_output;
  double max_rss_growth_mib = 0;
  CLI::Option* max_growth = nullptr;
  int slow_pause_ms = static_cast<int>(plan.slow_pause.count());
  int time_limit_s = static_cast<int>(launch.time_limit.count());
  bool json = false;
};

void AddClientOptions(CLI::App& app, CommandLine& line) {
  rcon_load::Plan& plan = line.plan;
  const auto clients = [&app](const std::string& name, int& count, const std::string& help) {
    app.add_option(name, count, help)->capture_default_str()->check(CLI::NonNegativeNumber);
  };
  clients("--clients", plan.clients, "Well-behaved clients");
  clients("--commands", plan.commands, "Commands each well-behaved client sends");
  clients("--slow", plan.slow, "Clients that send a byte at a time");
  app.add_option("--slow-pause-ms", line.slow_pause_ms, "Pause after each byte of a slow client")
      ->capture_default_str()
      ->check(CLI::Range(0, 900));
  clients("--wrong-password", plan.wrong_password, "Clients that guess the password");
  clients("--half-open", plan.half_open, "Clients that send half a packet");
  clients("--garbage", plan.garbage, "Clients that send bytes that are no packet");
  clients("--over-cap", plan.over_cap, "Clients that come when every place is taken");
  clients("--squatters", plan.squatters,
          "Clients that hold more places than their address may, unauthenticated");
  clients("--guessers", plan.guessers, "Clients that guess the password until banned");
}

void AddRunOptions(CLI::App& app, CommandLine& line) {
  line.max_growth = app.add_option("--max-rss-growth-mib", line.max_rss_growth_mib,
                                   "Fail when the server's peak RSS grows by more than this")
                        ->check(CLI::PositiveNumber);
  app.add_option("--time-limit", line.time_limit_s, "Give up after this many seconds")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--server-output", line.server_output, "Keep everything the server prints in FILE")
      ->option_text("FILE");
  app.add_flag("--json", line.json, "Print the figures as one JSON object");
}

// The parsed line into the plan and the launch.
void Apply(CommandLine& line) {
  line.plan.slow_pause = std::chrono::milliseconds(line.slow_pause_ms);
  line.launch.time_limit = std::chrono::seconds(line.time_limit_s);
  if (line.max_growth->count() > 0) {
    line.plan.max_rss_growth_mib = line.max_rss_growth_mib;
  }
  if (!line.root.empty()) {
    line.launch.root = line.root;
  }
  if (!line.server_output.empty()) {
    line.launch.server_output = line.server_output;
  }
}

int Run(int argc, char** argv) {
  CLI::App app{"Load the development server's RCON endpoint and report figures"};
  CommandLine line;
  app.add_option("--devserver", line.launch.devserver, "The devserver executable")
      ->option_text("PATH")
      ->required()
      ->check(CLI::ExistingFile);
  app.add_option("--root", line.root, "Its server folder (default: the devserver's own)")
      ->option_text("DIR");
  AddClientOptions(app, line);
  AddRunOptions(app, line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (line.plan.MaxClients() == 0) {
    std::fprintf(stderr, "cairnward-rcon-load: no clients to run\n");
    return 2;
  }
  Apply(line);
  // A server that dies must not take the run with it through its console pipe.
  std::signal(SIGPIPE, SIG_IGN);

  const rcon_load::Figures figures = rcon_load::RunLoad(line.plan, line.launch);
  const auto failures = rcon_load::Failures(line.plan, figures);
  if (line.json) {
    std::printf("%s\n", rcon_load::Json(line.plan, figures, failures).dump().c_str());
  } else {
    std::printf("%s", rcon_load::Table(line.plan, figures, failures).c_str());
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
