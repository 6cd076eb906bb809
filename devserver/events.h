#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin/server.h"

namespace devserver {

// Where everything the development server observes goes: readable lines on
// standard output for a person, and, when enabled, one JSON object per line on
// a separate stream for programs. The two never mix, because standard output
// also carries the host's log lines and the plug-in's debug trace.
class EventOutput {
 public:
  // `json` is null when no JSON events are wanted.
  EventOutput(std::FILE* text, std::ostream* json) : text_(text), json_(json) {}

  // A readable line only.
  void Say(std::string_view line);

  void Error(std::string_view text);
  void Spawned(const std::vector<std::uint64_t>& ids, std::string_view class_name,
               std::int32_t team);
  // Events driven through the hook chain.
  void Placed(std::string_view player, std::string_view blueprint, std::uint64_t id);
  // `by` is "plugin" or "game".
  void Refused(std::string_view player, std::string_view blueprint, std::string_view by);
  void Destroyed(const std::vector<std::uint64_t>& ids);
  // `tribe_case` is "create", "invite", "merge", "force" or "leave".
  void Tribe(std::string_view player, std::string_view tribe_case, bool result);

  // What players do. `command` tells whether a registered chat command took
  // the line; otherwise it was ordinary chat.
  void ChatLine(std::string_view player, std::string_view text, bool command);
  void ConsoleLine(std::string_view player, std::string_view text);
  // `alive` after revive, not after kill.
  void Life(std::string_view player, bool alive);
  // No `id` when he aims at nothing; `class_name` is the aimed actor's class.
  void Aim(std::string_view player, std::optional<std::uint64_t> id, std::string_view class_name);

  // Host events. Log lines and plug-in state changes are already on standard
  // output through the host's console sink, so they only become JSON here.
  void Log(const standin::LogRecord& record);
  void Plugin(const std::string& state);
  void Delivery(const standin::Delivery& delivery);

  // RCON: where the endpoint listens, and every reply the game sends to a
  // client, from the console's "rcon" or over the network.
  void RconListening(std::string_view address, std::uint16_t port);
  void RconReply(const standin::RconReply& reply);

 private:
  // Members keep the order written, so "event" always comes first.
  void Emit(const nlohmann::ordered_json& event);

  std::FILE* text_;
  std::ostream* json_;
};

}  // namespace devserver
