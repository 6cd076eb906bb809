#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace rcon_load {

// What a run puts on the server, all at once.
struct Plan {
  int clients = 64;  // authenticate, then send `commands` commands each
  int commands = 200;
  int slow = 4;            // authenticate and send commands a byte at a time
  int wrong_password = 4;  // give three wrong passwords
  int half_open = 6;       // send half a packet, then stall or leave
  int garbage = 4;         // send bytes that are no RCON packet
  int over_cap = 4;        // connect while every place is taken
  int squatters = 2;       // from one address each, hold more places than it may, unauthenticated
  int guessers = 2;        // from one address each, guess on new connections until banned
  std::string password = "rcon-load";
  std::chrono::milliseconds slow_pause{50};
  std::optional<double> max_rss_growth_mib;

  // The server's connection cap: room for every client but the ones over it.
  [[nodiscard]] int MaxClients() const {
    return clients + slow + wrong_password + half_open + garbage + kSquatterPlaces * squatters +
           guessers;
  }

  // A squatter holds the places that the server grants one address for
  // connections that have not authenticated, then opens one more.
  static constexpr int kSquatterPlaces = 2;
};

// Commands each slow client sends.
inline constexpr int kSlowCommands = 2;
// Wrong passwords from one address that ban it: the server's limit, which
// the run sets.
inline constexpr int kMaxFailures = 5;

// Clients of one kind, and how many went as they should: a hostile one
// dropped by the server, one over the cap refused, a slow one served.
struct Tally {
  int clients = 0;
  int as_expected = 0;
};

struct Figures {
  // Commands of authenticated clients (well-behaved and slow). Every one is
  // answered rightly (one reply with its id and the expected text), answered
  // wrongly, or lost (no answer before the connection ended or timed out).
  std::int64_t commands = 0;
  std::int64_t answered = 0;
  std::int64_t wrong = 0;
  [[nodiscard]] std::int64_t Lost() const { return commands - answered - wrong; }

  Tally slow;
  Tally wrong_password;
  Tally half_open;
  Tally garbage;
  Tally over_cap;
  Tally squatters;  // as expected: the oldest place taken back at once, the others at the deadline
  Tally guessers;   // as expected: banned after exactly kMaxFailures guesses
  bool all_admitted = false;  // the server took every client under the cap
  bool fresh_client_served = false;

  // Console lines typed while the clients ran, and how long the game thread
  // took to run each.
  int probes = 0;
  int probes_answered = 0;
  double probe_worst_ms = 0;
  double probe_median_ms = 0;

  // From the start of the commands to the last answer of a well-behaved
  // client, and from the first client to the last one's end.
  double command_seconds = 0;
  double load_seconds = 0;
  std::optional<long> peak_rss_before_kib;  // VmHWM before the clients came
  std::optional<long> peak_rss_after_kib;   // and after they went
  // Why the server closed connections, from its own lines, and how many times.
  std::map<std::string, int> server_reasons;
  int host_violations = 0;
  bool server_started = false;
  int server_exit = -1;
  bool finished_in_time = false;
  std::vector<std::string> surprises;  // the first few oddities seen, for a person
};

// What went wrong, one line each; none for a clean run.
std::vector<std::string> Failures(const Plan& plan, const Figures& figures);

std::string Table(const Plan& plan, const Figures& figures,
                  const std::vector<std::string>& failures);
nlohmann::ordered_json Json(const Plan& plan, const Figures& figures,
                            const std::vector<std::string>& failures);

}  // namespace rcon_load
