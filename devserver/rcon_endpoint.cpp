// RCON commands on the game thread: from the console ("rcon TEXT") and from
// the network clients of the RCON endpoint.
#include "rcon_endpoint.h"

#include <exception>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "printable.h"
#include "standin/command_registry.h"
#include "standin/utf8.h"

namespace devserver {
namespace {

bool IsRegistered(standin::Server& server, std::string_view text) {
  const std::u16string word = standin::FirstWord(standin::Utf8ToUtf16(text));
  for (const auto& name : server.Commands().RconNames()) {
    if (standin::SameWordIgnoringCase(name, word)) {
      return true;
    }
  }
  return false;
}

// `last_id` counts the requests, as a client would.
void Rcon(Context& c, Args& args, std::int32_t& last_id) {
  const std::string text = args.RequiredRest("TEXT");
  if (!IsRegistered(c.server, text)) {
    throw CommandError(
        fmt::format("no RCON command is named \"{}\"", text.substr(0, text.find(' '))));
  }
  const std::int32_t id = ++last_id;
  // The replies are printed as the game sends them.
  if (RunRconCommand(c.server, id, text).empty()) {
    c.out.Say(fmt::format("rcon: no reply to request {}", id));
  }
}

}  // namespace

std::vector<rcon::Packet> RunRconCommand(standin::Server& server, std::int32_t id,
                                         std::string_view text) {
  std::vector<rcon::Packet> replies;
  for (const standin::RconReply& reply : server.Rcon(standin::Utf8ToUtf16(text), id)) {
    replies.push_back({reply.id, reply.type, standin::Utf16ToUtf8(reply.text)});
  }
  return replies;
}

void AddRconCommands(Context& context) {
  Context* c = &context;
  auto last_id = std::make_shared<std::int32_t>(0);
  context.console.Add("rcon", "rcon TEXT", [c, last_id](Args& args) { Rcon(*c, args, *last_id); });
}

std::unique_ptr<rcon::Listener> ServeRcon(Context& context, GameLoop& loop,
                                          rcon::ListenerOptions options,
                                          std::function<void()> after_each_command) {
  Context* c = &context;
  auto run = [c, &loop, after = std::move(after_each_command)](rcon::Request request,
                                                               rcon::Done done) {
    loop.Post([c, after, request = std::move(request), done = std::move(done)] {
      // The body is the client's to choose: escaped, it cannot forge lines.
      c->out.Say(fmt::format("rcon: {}: {}", request.peer, EscapeControls(request.body)));
      std::vector<rcon::Packet> replies;
      try {
        replies = RunRconCommand(c->server, request.id, request.body);
      } catch (const std::exception& e) {
        c->out.Error(fmt::format("rcon: {}", EscapeControls(e.what())));
      }
      done(std::move(replies));
      after();
    });
  };
  // Printed on the game thread, where all output is written.
  auto note = [c, &loop](std::string line) {
    loop.Post([c, line = std::move(line)] { c->out.Say(line); });
  };
  auto listener =
      std::make_unique<rcon::Listener>(std::move(options), std::move(run), std::move(note));
  c->out.RconListening(listener->Address(), listener->Port());
  return listener;
}

}  // namespace devserver
