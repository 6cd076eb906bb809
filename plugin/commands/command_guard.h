#pragma once

#include <exception>
#include <string_view>

#include "api/game_types.h"
#include "api/rcon_packet.h"

namespace cairnward {

// Answers an RCON request: the text, byte by byte as ASCII, with the
// request's id and type 0. A request without a connection or a packet has no
// one to answer and fails.
void ReplyRcon(RCONClientConnection* connection, const RCONPacket* packet, std::string_view text);
// The same for game text, up to its first NUL.
void ReplyRconText(RCONClientConnection* connection, const RCONPacket* packet,
                   std::u16string_view text);

// Answers an administrator's console command: the text as a chat message
// under "Messages" -> "Sender".
void ReplyConsoleText(APlayerController* player, std::u16string_view text);

// What a command does with a failure that its work let out: console forms
// log its text at error level; RCON forms also send the text as the reply, so
// that the administrator sees why. Neither lets anything escape.
void ReportConsoleFailure(std::string_view what) noexcept;
void ReportRconFailure(RCONClientConnection* connection, const RCONPacket* packet,
                       std::string_view what) noexcept;

// Runs a command's work so that no failure reaches the host.
template <typename Body, typename OnFailure>
void GuardCommand(Body&& body, OnFailure&& on_failure) noexcept {
  try {
    body();
  } catch (const std::exception& e) {
    on_failure(e.what());
  } catch (...) {
    on_failure("unknown error");
  }
}

template <typename Body>
void GuardConsoleCommand(Body&& body) noexcept {
  GuardCommand(body, [](std::string_view what) { ReportConsoleFailure(what); });
}

template <typename Body>
void GuardRconCommand(RCONClientConnection* connection, const RCONPacket* packet,
                      Body&& body) noexcept {
  GuardCommand(body, [&](std::string_view what) { ReportRconFailure(connection, packet, what); });
}

}  // namespace cairnward
