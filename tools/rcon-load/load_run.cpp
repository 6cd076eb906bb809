#include "load_run.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "clients.h"
#include "server_process.h"

namespace rcon_load {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kProbe = "rcon-load probe ";
constexpr auto kProbeInterval = 50ms;
constexpr auto kStartup = 60s;

// What the server's own output tells.
struct Observed {
  std::uint16_t port = 0;
  bool loaded = false;
  int admitted = 0;  // "connected" lines
  int refused = 0;   // "refused" lines
  std::vector<Clock::time_point> probe_sent;
  std::vector<double> probe_ms;
  int probes_seen = 0;
  bool load_done = false;
  bool probing_done = false;
  bool finished = false;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "rcon: ADDRESS connected", "rcon: ADDRESS refused: …", "rcon: ADDRESS
// disconnected: WHY"; a command line has a colon after the address instead.
void OnServerLine(std::string_view line, Observed& seen, Figures& figures) {
  if (StartsWith(line, kProbe)) {
    const std::string_view number = line.substr(kProbe.size());
    std::size_t index = 0;
    std::from_chars(number.data(), number.data() + number.size(), index);
    if (index >= 1 && index <= seen.probe_sent.size()) {
      const std::chrono::duration<double, std::milli> waited =
          Clock::now() - seen.probe_sent[index - 1];
      seen.probe_ms.push_back(waited.count());
      seen.probes_seen = static_cast<int>(index);
    }
    return;
  }
  if (!StartsWith(line, "rcon: ")) {
    return;
  }
  const std::string_view rest = line.substr(6);
  const std::size_t blank = rest.find(' ');
  if (blank == std::string_view::npos || rest[blank - 1] == ':') {
    return;
  }
  const std::string_view what = rest.substr(blank + 1);
  if (what == "connected") {
    ++seen.admitted;
  } else if (StartsWith(what, "refused: ")) {
    ++seen.refused;
  } else if (StartsWith(what, "disconnected: ")) {
    ++figures.server_reasons[std::string(what.substr(14))];
  }
}

void OnServerEvent(std::string_view line, Observed& seen, Figures& figures) {
  // Only the few events that matter here are parsed; there is one per log line.
  if (StartsWith(line, R"({"event":"rcon_listening")")) {
    seen.port = nlohmann::json::parse(line).at("port").get<std::uint16_t>();
  } else if (line == R"({"event":"plugin","state":"loaded"})") {
    seen.loaded = true;
  } else if (StartsWith(line, R"({"event":"error","text":"host violation)")) {
    ++figures.host_violations;
  }
}

// Console lines while the clients run: each `rcon` runs the plug-in on the
// game thread, and the `echo` after it shows when it is done.
asio::awaitable<void> Probe(ServerProcess& server, Observed& seen, Figures& figures) {
  while (!seen.load_done) {
    seen.probe_sent.push_back(Clock::now());
    const int index = ++figures.probes;
    server.Type("rcon UpdateStructures");
    server.Type(fmt::format("echo {}{}", kProbe, index));
    co_await WaitUntil([&seen, index] { return seen.probes_seen >= index; }, kPatience);
    co_await Sleep(kProbeInterval);
  }
  seen.probing_done = true;
}

// The clients of every kind against the started server, then the probes'
// end and a fresh client.
asio::awaitable<void> LoadServer(const Plan& plan, ServerProcess& server, Observed& seen,
                                 Figures& figures) {
  const auto executor = co_await asio::this_coro::executor;
  figures.peak_rss_before_kib = server.PeakRssKib();
  Gate release(executor);
  Stage stage{{asio::ip::make_address("127.0.0.1"), seen.port}, plan, figures, release};
  const auto started = Clock::now();
  asio::co_spawn(executor, Probe(server, seen, figures), asio::detached);
  const auto spawn = [&executor](Stage& on, auto client, int count) {
    for (int i = 0; i < count; ++i) {
      asio::co_spawn(executor, client(on, i), asio::detached);
    }
  };
  spawn(stage, WellBehavedClient, plan.clients);
  spawn(stage, SlowClient, plan.slow);
  spawn(stage, WrongPasswordClient, plan.wrong_password);
  spawn(stage, HalfOpenClient, plan.half_open);
  spawn(stage, GarbageClient, plan.garbage);
  spawn(stage, SquatterClient, plan.squatters);
  spawn(stage, GuesserClient, plan.guessers);
  // Every place taken: the ones that come now are refused.
  figures.all_admitted =
      co_await WaitUntil([&] { return seen.admitted >= plan.MaxClients(); }, kPatience);
  Stage over_cap{stage.server, plan, figures, release};
  spawn(over_cap, OverCapClient, plan.over_cap);
  co_await WaitUntil([&over_cap] { return over_cap.running == 0; }, kPatience);
  const auto released = Clock::now();
  release.Open();
  co_await WaitUntil([&stage] { return stage.running == 0; }, 24h);
  if (stage.commands_done > released) {
    figures.command_seconds = std::chrono::duration<double>(stage.commands_done - released).count();
  }
  figures.load_seconds = std::chrono::duration<double>(Clock::now() - started).count();
  seen.load_done = true;
  co_await WaitUntil([&seen] { return seen.probing_done; }, kPatience);
  figures.fresh_client_served = co_await ServesAFreshClient(stage);
  figures.peak_rss_after_kib = server.PeakRssKib();
  // The server's own count of refusals must agree with the clients'.
  figures.over_cap.as_expected = std::min(figures.over_cap.as_expected, seen.refused);
}

asio::awaitable<void> Drive(const Plan& plan, ServerProcess& server, Observed& seen,
                            Figures& figures) {
  figures.server_started =
      co_await WaitUntil([&seen] { return seen.port != 0 && seen.loaded; }, kStartup);
  if (figures.server_started) {
    co_await LoadServer(plan, server, seen, figures);
  }
  server.Type("quit");
  server.EndInput();
  figures.server_exit = co_await server.AwaitExit(kStartup);
  seen.finished = true;
}

std::vector<std::string> ServerArguments(const Plan& plan, const Launch& launch) {
  std::vector<std::string> argv = {
      launch.devserver.string(), "--rcon-port", "0", "--rcon-password", plan.password,
      "--rcon-max-clients", std::to_string(plan.MaxClients()),
      // The crowd comes at once and waits at a gate before
      // authenticating: let it, and test the caps per address.
      "--rcon-max-unauthenticated", std::to_string(plan.MaxClients()), "--rcon-login-timeout", "10",
      "--rcon-max-failures", std::to_string(kMaxFailures), "--json"};
  if (launch.root) {
    argv.emplace_back("--root");
    argv.push_back(launch.root->string());
  }
  return argv;
}

void ProbeWaits(const Observed& seen, Figures& figures) {
  figures.probes_answered = static_cast<int>(seen.probe_ms.size());
  if (!seen.probe_ms.empty()) {
    std::vector<double> waits = seen.probe_ms;
    std::sort(waits.begin(), waits.end());
    figures.probe_worst_ms = waits.back();
    figures.probe_median_ms = waits[waits.size() / 2];
  }
}

}  // namespace

Figures RunLoad(const Plan& plan, const Launch& launch) {
  std::ofstream copy;
  if (launch.server_output) {
    copy.open(*launch.server_output, std::ios::out | std::ios::trunc);
  }
  const auto keep = [&copy](std::string_view line) {
    if (copy.is_open()) {
      copy << line << '\n';
    }
  };

  Figures figures;
  Observed seen;
  asio::io_context context;
  ServerProcess server(
      context, ServerArguments(plan, launch),
      [&](std::string_view line) {
        keep(line);
        OnServerLine(line, seen, figures);
      },
      [&](std::string_view line) {
        keep(line);
        OnServerEvent(line, seen, figures);
      });
  server.Type("plugin load");
  asio::co_spawn(context, Drive(plan, server, seen, figures), asio::detached);
  // Until the server's output ends, so that its last lines are read too.
  context.run_for(launch.time_limit);
  figures.finished_in_time = seen.finished;
  ProbeWaits(seen, figures);
  return figures;
}

}  // namespace rcon_load
