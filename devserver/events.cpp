#include "events.h"

#include <fmt/format.h>
#include <spdlog/common.h>
#include <charconv>

#include "printable.h"
#include "standin/utf8.h"

namespace devserver {
namespace {

// The float as its shortest decimal form, so that 0.3F shows as 0.3 and not
// as the 0.30000001192092896 of its exact value.
double Shortest(float value) {
  const std::string text = fmt::format("{}", value);
  double result = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

nlohmann::ordered_json ColorJson(const FLinearColor& color) {
  return nlohmann::ordered_json::array(
      {Shortest(color.R), Shortest(color.G), Shortest(color.B), Shortest(color.A)});
}

// Continuation lines of a multi-line text line up under its first line; no
// other control character reaches the terminal, since a reply may repeat
// what a network client sent.
std::string Indented(const std::u16string& text) {
  std::string utf8 = standin::Utf16ToUtf8(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r')) {
    utf8.pop_back();
  }
  std::string out;
  for (std::size_t at = 0; at < utf8.size();) {
    std::size_t end = utf8.find('\n', at);
    end = end == std::string::npos ? utf8.size() : end;
    // A line break written as CR LF is one line break too.
    const std::size_t line_end = end > at && utf8[end - 1] == '\r' ? end - 1 : end;
    out += EscapeControls(std::string_view(utf8).substr(at, line_end - at));
    if (end < utf8.size()) {
      out += "\n     ";
    }
    at = end + 1;
  }
  return out;
}

}  // namespace

void EventOutput::Say(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), text_);
  std::fputc('\n', text_);
  std::fflush(text_);
}

void EventOutput::Emit(const nlohmann::ordered_json& event) {
  if (json_ == nullptr) {
    return;
  }
  // Game and log text may hold bytes that are not UTF-8; they must not cost
  // the event.
  *json_ << event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  json_->flush();
}

void EventOutput::Error(std::string_view text) {
  Say(fmt::format("error: {}", text));
  Emit({{"event", "error"}, {"text", text}});
}

void EventOutput::Spawned(const std::vector<std::uint64_t>& ids, std::string_view class_name,
                          std::int32_t team) {
  Say(fmt::format("spawned {} x {} (team {}): ids {}", ids.size(), class_name, team,
                  fmt::join(ids, ", ")));
  Emit({{"event", "spawned"}, {"ids", ids}, {"class", class_name}, {"team", team}});
}

void EventOutput::Placed(std::string_view player, std::string_view blueprint, std::uint64_t id) {
  Say(fmt::format("placed: {} placed {} (id {})", player, blueprint, id));
  Emit({{"event", "placed"}, {"player", player}, {"blueprint", blueprint}, {"id", id}});
}

void EventOutput::Refused(std::string_view player, std::string_view blueprint,
                          std::string_view by) {
  Say(fmt::format("refused: {} may not place {} (refused by the {})", player, blueprint, by));
  Emit({{"event", "refused"}, {"player", player}, {"blueprint", blueprint}, {"by", by}});
}

void EventOutput::Destroyed(const std::vector<std::uint64_t>& ids) {
  Say(fmt::format("destroyed {}: ids {}", ids.size(), fmt::join(ids, ", ")));
  Emit({{"event", "destroyed"}, {"ids", ids}});
}

void EventOutput::Tribe(std::string_view player, std::string_view tribe_case, bool result) {
  Say(fmt::format("tribe {}: {} {}", tribe_case, player, result ? "succeeded" : "failed"));
  Emit({{"event", "tribe"}, {"player", player}, {"case", tribe_case}, {"result", result}});
}

void EventOutput::ChatLine(std::string_view player, std::string_view text, bool command) {
  Say(command ? fmt::format("chat: {} ran the chat command \"{}\"", player, text)
              : fmt::format("chat: {} says \"{}\"", player, text));
  Emit({{"event", "chat_line"}, {"player", player}, {"text", text}, {"command", command}});
}

void EventOutput::ConsoleLine(std::string_view player, std::string_view text) {
  Say(fmt::format("console: {} ran \"{}\"", player, text));
  Emit({{"event", "console_line"}, {"player", player}, {"text", text}});
}

void EventOutput::Life(std::string_view player, bool alive) {
  Say(fmt::format("player: {} is {}", player, alive ? "alive again" : "dead"));
  Emit({{"event", "player"}, {"player", player}, {"state", alive ? "alive" : "dead"}});
}

void EventOutput::Aim(std::string_view player, std::optional<std::uint64_t> id,
                      std::string_view class_name) {
  if (id) {
    Say(fmt::format("aim: {} aims at id {} ({})", player, *id, class_name));
    Emit({{"event", "aim"}, {"player", player}, {"id", *id}});
  } else {
    Say(fmt::format("aim: {} aims at nothing", player));
    Emit({{"event", "aim"}, {"player", player}, {"id", nullptr}});
  }
}

void EventOutput::Log(const standin::LogRecord& record) {
  const auto level = spdlog::level::to_string_view(record.level);
  Emit({{"event", "log"},
        {"level", std::string_view(level.data(), level.size())},
        {"logger", record.logger},
        {"text", record.text}});
}

void EventOutput::Plugin(const std::string& state) {
  Emit({{"event", "plugin"}, {"state", state}});
}

void EventOutput::Delivery(const standin::Delivery& delivery) {
  using Form = standin::Delivery::Form;
  const std::string text = standin::Utf16ToUtf8(delivery.text);
  switch (delivery.form) {
    case Form::kNotification:
      Say(fmt::format("  >> [notification to {}] {}  (scale {}, {} s)", delivery.player,
                      Indented(delivery.text), delivery.scale, delivery.time));
      Emit({{"event", "notification"},
            {"player", delivery.player},
            {"text", text},
            {"color", ColorJson(delivery.color)},
            {"scale", Shortest(delivery.scale)},
            {"time", Shortest(delivery.time)}});
      break;
    case Form::kChat: {
      const std::string sender = standin::Utf16ToUtf8(delivery.sender);
      Say(fmt::format("  >> [chat to {}] {}: {}", delivery.player, sender,
                      Indented(delivery.text)));
      Emit({{"event", "chat"}, {"player", delivery.player}, {"sender", sender}, {"text", text}});
      break;
    }
    case Form::kServerMessage:
      Say(fmt::format("  >> [server message to {}] {}", delivery.player, Indented(delivery.text)));
      Emit({{"event", "server_message"},
            {"player", delivery.player},
            {"text", text},
            {"color", ColorJson(delivery.color)}});
      break;
  }
}

void EventOutput::RconListening(std::string_view address, std::uint16_t port) {
  // An IPv6 address is bracketed, so that its port stands apart.
  const std::string host = address.find(':') == std::string_view::npos
                               ? std::string(address)
                               : fmt::format("[{}]", address);
  Say(fmt::format("rcon: listening on {}:{}", host, port));
  Emit({{"event", "rcon_listening"}, {"address", address}, {"port", port}});
}

void EventOutput::RconReply(const standin::RconReply& reply) {
  const std::string type = reply.type == 0 ? "" : fmt::format(", type {}", reply.type);
  Say(fmt::format("  >> [rcon reply, id {}{}] {}", reply.id, type, Indented(reply.text)));
  Emit({{"event", "rcon_reply"},
        {"id", reply.id},
        {"type", reply.type},
        {"text", standin::Utf16ToUtf8(reply.text)}});
}

}  // namespace devserver
