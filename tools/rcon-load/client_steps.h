#pragma once

// The steps every kind of client takes: connecting from an address of its
// own, authenticating, one command with its answer checked, and counting.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "clients.h"

namespace rcon_load {

// What the plug-in and the host answer to each command of the mix.
struct Command {
  const char* text;
  const char* reply;
};
inline constexpr std::array<Command, 3> kMix = {{
    {"UpdateStructures", "Updated All Structures"},
    {"cairnward.reload", "Reloaded config"},
    {"rcon-load.nosuch", "Unknown command: rcon-load.nosuch"},
}};

// A refusal at the cap, or a place taken back, comes at once; an admitted
// client would only be closed at the login timeout, which the run sets
// longer than this.
inline constexpr Clock::duration kRefusalWithin = std::chrono::seconds(5);

// Each client comes from an address of its own (all of 127.0.0.0/8 is this
// machine), as from many machines: the server's caps and bans go by address.
enum class Kind {
  kWellBehaved = 1,
  kSlow,
  kWrongPassword,
  kHalfOpen,
  kGarbage,
  kOverCap,
  kSquatter,
  kGuesser,
  kFresh
};

// Keeps the first few oddities for the person reading the figures.
void Remember(Stage& stage, std::string what);

// A connection from the client's address; none (remembered) when it fails.
asio::awaitable<std::shared_ptr<Connection>> Connected(Stage& stage, Kind kind, int index);

// The auth exchange: the id of both packets of the answer (`id`, or -1 for a
// wrong password), or nothing when the server did not answer as it should.
// `slowly`: a byte at a time with this pause after each.
asio::awaitable<std::optional<std::int32_t>> Authenticate(
    Connection& connection, const std::string& password, std::int32_t id,
    std::optional<Clock::duration> slowly = std::nullopt);

struct Exchanged {
  bool right = false;     // one reply, with the command's id and the expected text
  bool answered = false;  // some reply came
  bool go_on = false;     // the end marker came back: the connection still serves
};

// One command with an end marker after it, so that a missing answer shows as
// the marker coming back first.
asio::awaitable<Exchanged> Exchange(Stage& stage, Connection& connection, std::int32_t id,
                                    const Command& command,
                                    std::optional<Clock::duration> slowly = std::nullopt);
// Adds an exchange to the figures' answered or wrong commands.
void Count(Stage& stage, const Exchanged& exchanged);

// A client's body run as the public client coroutines run it: counted in
// `running` at once, before the coroutine first runs, so that whoever waits
// for `running` to reach 0 cannot see it there too early, and out when done.
asio::awaitable<void> Counted(Stage& stage, asio::awaitable<void> (*body)(Stage&, int), int index);

}  // namespace rcon_load
