#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "commands.h"
#include "game_loop.h"
#include "rcon_codec.h"
#include "rcon_listener.h"

namespace devserver {

// Runs one RCON command on the server as the game runs a client's, on a
// connection object of its own, and answers the replies sent on it. A command
// nobody registered is answered by the server. Game thread.
std::vector<rcon::Packet> RunRconCommand(standin::Server& server, std::int32_t id,
                                         std::string_view text);

// Starts the RCON endpoint and says where it listens. Its clients' commands
// run on the game loop, each followed by `after_each_command`; their replies
// go back to the client that sent them.
std::unique_ptr<rcon::Listener> ServeRcon(Context& context, GameLoop& loop,
                                          rcon::ListenerOptions options,
                                          std::function<void()> after_each_command);

}  // namespace devserver
