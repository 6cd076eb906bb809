// The development server: the stand-in host with a console, for trying the
// plug-in by hand or from a script.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "commands.h"
#include "console.h"
#include "events.h"
#include "game_loop.h"
#include "locations.h"
#include "rcon_endpoint.h"
#include "standin/server.h"
#include "standin/strict.h"
#include "whole_number_option.h"

namespace {

// Where this executable lies tells a build from an installation.
const devserver::Locations& Defaults() {
  static const devserver::Locations locations = [] {
    std::error_code error;
    return devserver::DefaultLocations(std::filesystem::read_symlink("/proc/self/exe", error));
  }();
  return locations;
}

int Seconds(std::chrono::milliseconds duration) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

struct Options {
  std::string root = Defaults().root.string();
  std::string script;
  bool json = false;
  std::string events;

  int rcon_port = -1;  // off
  devserver::rcon::ListenerOptions rcon;
  // The listener's durations, in whole seconds on the command line.
  int rcon_login_timeout = Seconds(rcon.login_timeout);
  int rcon_failure_window = Seconds(rcon.failure_window);
  int rcon_ban_time = Seconds(rcon.ban_time);
};

// Misuse of the host interface is printed by the host on standard error; the
// console also reports it as an error, so that a JSON reader sees it too.
void ReportNewViolations(devserver::EventOutput& out, std::size_t& seen) {
  const auto& violations = standin::Violations();
  for (; seen < violations.size(); ++seen) {
    out.Error("host violation: " + violations[seen]);
  }
}

// The script and the events' stream, opened before the server starts: one
// that cannot be opened stops it.
struct Files {
  std::ifstream script;
  std::ofstream events;
  std::ostream* json = nullptr;  // none without --json or --events
};

bool OpenFiles(const Options& options, Files& files) {
  if (!options.events.empty()) {
    files.events.open(options.events, std::ios::out | std::ios::trunc);
    if (!files.events) {
      std::fprintf(stderr, "devserver: cannot write events to %s\n", options.events.c_str());
      return false;
    }
    files.json = &files.events;
  } else if (options.json) {
    files.json = &std::cerr;
  }
  if (!options.script.empty()) {
    files.script.open(options.script);
    if (!files.script) {
      std::fprintf(stderr, "devserver: cannot read %s\n", options.script.c_str());
      return false;
    }
  }
  return true;
}

void ForwardEvents(standin::Server& server, devserver::EventOutput& out) {
  auto& events = server.Events();
  events.on_log = [&out](const standin::LogRecord& record) { out.Log(record); };
  events.on_plugin = [&out](const std::string& state) { out.Plugin(state); };
  events.on_delivery = [&out](const standin::Delivery& delivery) { out.Delivery(delivery); };
  events.on_rcon_reply = [&out](const standin::RconReply& reply) { out.RconReply(reply); };
}

void AddCommands(devserver::Context& context) {
  devserver::AddServerCommands(context);
  devserver::AddWorldCommands(context);
  devserver::AddEventCommands(context);
  devserver::AddPlayerCommands(context);
  devserver::AddRconCommands(context);
}

// None without --rcon-port.
std::unique_ptr<devserver::rcon::Listener> StartRcon(const Options& options,
                                                     devserver::Context& context,
                                                     devserver::GameLoop& loop,
                                                     std::function<void()> after_each) {
  if (options.rcon_port < 0) {
    return nullptr;
  }
  devserver::rcon::ListenerOptions rcon_options = options.rcon;
  rcon_options.port = static_cast<std::uint16_t>(options.rcon_port);
  rcon_options.login_timeout = std::chrono::seconds(options.rcon_login_timeout);
  rcon_options.failure_window = std::chrono::seconds(options.rcon_failure_window);
  rcon_options.ban_time = std::chrono::seconds(options.rcon_ban_time);
  return devserver::ServeRcon(context, loop, rcon_options, std::move(after_each));
}

// Runs the console until its input ends or it is told to quit. A script is
// echoed; so is standard input unless someone types, who sees the command
// already. While RCON is served, standard input follows the script, so that
// the server runs until it is told to quit.
void RunConsole(const Options& options, Files& files, devserver::GameLoop& loop,
                devserver::Console& console, bool serving_rcon) {
  std::vector<devserver::ConsoleInput> inputs;
  if (!options.script.empty()) {
    inputs.push_back({&files.script, true});
  }
  if (options.script.empty() || serving_rcon) {
    inputs.push_back({&std::cin, isatty(STDIN_FILENO) == 0});
  }
  const devserver::ConsoleReader reader(loop, console, std::move(inputs));
  loop.Run();
}

int Serve(const Options& options) {
  Files files;
  if (!OpenFiles(options, files)) {
    return 2;
  }
  devserver::EventOutput out(stdout, files.json);
  standin::Server server(options.root,
                         standin::ServerOptions{.console_log = true, .keep_history = false});
  ForwardEvents(server, out);
  devserver::Console console(out);
  devserver::Context context{server, out, console, Defaults().plugin};
  AddCommands(context);
  std::size_t violations_seen = standin::Violations().size();
  const auto report_violations = [&] { ReportNewViolations(out, violations_seen); };
  console.AfterEachLine(report_violations);

  out.Say(fmt::format("devserver: server folder {}", server.Root().string()));
  devserver::GameLoop loop;
  std::unique_ptr<devserver::rcon::Listener> rcon =
      StartRcon(options, context, loop, report_violations);
  RunConsole(options, files, loop, console, rcon != nullptr);
  rcon.reset();
  // Shut down as the real server does, with the plug-in told it is going.
  if (server.PluginLoaded()) {
    server.UnloadPlugin();
  }
  report_violations();
  return 0;
}

void AddFileOptions(CLI::App& app, Options& options) {
  app.add_option("--root", options.root,
                 "Server folder; AtlasApi/Plugins/Cairnward lies below it "
                 "(default: the build's copy of examples/server)")
      ->option_text("DIR");
  app.add_option("--script", options.script, "Read console lines from FILE instead of stdin")
      ->option_text("FILE");
  app.add_flag("--json", options.json, "Also write every event as a JSON line (to stderr)");
  app.add_option("--events", options.events, "Write the JSON events to FILE (implies --json)")
      ->option_text("FILE");
}

// The port, password and address; answers the port's option, which every
// other RCON option needs.
CLI::Option* AddRconEndpointOptions(CLI::App& app, Options& options) {
  auto* rcon_port =
      app.add_option("--rcon-port", options.rcon_port,
                     "Serve RCON on this TCP port (0: any free one); off unless given")
          ->option_text("N")
          ->check(devserver::WholeNumberIn(0, 65535));
  auto* rcon_password =
      app.add_option("--rcon-password", options.rcon.password, "Password of RCON clients")
          ->option_text("PW");
  auto* rcon_address =
      app.add_option("--rcon-address", options.rcon.address,
                     "Address RCON listens on (default 127.0.0.1: this machine only)")
          ->option_text("ADDR");
  rcon_port->needs(rcon_password);
  rcon_password->needs(rcon_port);
  rcon_address->needs(rcon_port);
  return rcon_port;
}

// Limits on RCON clients: whole numbers from 1 to the largest int, whatever
// each one's type, only with RCON served.
void AddRconLimitOptions(CLI::App& app, Options& options, CLI::Option* rcon_port) {
  const auto limit = [&](const std::string& name, auto& value, const std::string& unit,
                         const std::string& help) {
    app.add_option(name, value, help)
        ->option_text(unit)
        ->check(devserver::WholeNumberIn(1, std::numeric_limits<int>::max()))
        ->needs(rcon_port);
  };
  limit("--rcon-max-clients", options.rcon.max_connections, "N",
        "RCON connections open at once; more are closed as they come (default 8)");
  limit("--rcon-max-unauthenticated", options.rcon.max_unauthenticated, "N",
        "RCON connections not authenticated yet; the oldest makes room for a new one (default 4)");
  limit("--rcon-max-unauthenticated-per-address", options.rcon.max_unauthenticated_per_address, "N",
        "The same from one address (default 2)");
  limit("--rcon-login-timeout", options.rcon_login_timeout, "S",
        "Seconds from connecting to authenticating (default 3)");
  limit("--rcon-max-failures", options.rcon.max_failures, "N",
        "Wrong RCON passwords from one address within the failure window that ban it "
        "(default 5)");
  limit("--rcon-failure-window", options.rcon_failure_window, "S",
        "Seconds in which wrong passwords count towards a ban (default 30)");
  limit("--rcon-ban-time", options.rcon_ban_time, "S",
        "Seconds an address stays banned (default 600)");
}

int Run(int argc, char** argv) {
  CLI::App app{"Cairnward development server: the stand-in host with a console"};
  Options options;
  AddFileOptions(app, options);
  AddRconLimitOptions(app, options, AddRconEndpointOptions(app, options));
  CLI11_PARSE(app, argc, argv);
  return Serve(options);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "devserver: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "devserver: unknown error\n");
  }
  return 1;
}
