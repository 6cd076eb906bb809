#include "rcon_codec.h"

#include <algorithm>

#include <fmt/format.h>

namespace devserver::rcon {
namespace {

std::int32_t ReadInt32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

void AppendInt32(std::string& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) {
    out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFFU));
  }
}

ParseResult Malformed(std::string error) {
  ParseResult result;
  result.status = ParseResult::Status::kMalformed;
  result.error = std::move(error);
  return result;
}

}  // namespace

ParseResult ParsePacket(std::string_view bytes) {
  if (bytes.size() < kSizeField) {
    return {};
  }
  const std::int32_t size = ReadInt32(bytes, 0);
  if (size < kMinSize || size > kMaxSize) {
    return Malformed(
        fmt::format("packet size {} is not between {} and {}", size, kMinSize, kMaxSize));
  }
  const std::size_t total = kSizeField + static_cast<std::size_t>(size);
  if (bytes.size() < total) {
    return {};
  }
  const std::string_view body = bytes.substr(kSizeField + 8, total - kSizeField - 10);
  if (bytes[total - 2] != '\0' || bytes[total - 1] != '\0') {
    return Malformed("packet does not end in two NULs");
  }
  if (body.find('\0') != std::string_view::npos) {
    return Malformed("packet body holds a NUL");
  }
  ParseResult result;
  result.status = ParseResult::Status::kPacket;
  result.packet = {ReadInt32(bytes, 4), ReadInt32(bytes, 8), std::string(body)};
  result.consumed = total;
  return result;
}

std::string EncodePacket(const Packet& packet) {
  std::string out;
  out.reserve(kSizeField + kMinSize + packet.body.size());
  AppendInt32(out, static_cast<std::int32_t>(kMinSize + packet.body.size()));
  AppendInt32(out, packet.id);
  AppendInt32(out, packet.type);
  out += packet.body;
  out.append(2, '\0');
  return out;
}

std::string EncodeReply(const Packet& reply) {
  const std::string_view body = std::string_view(reply.body).substr(0, reply.body.find('\0'));
  std::string out;
  std::size_t at = 0;
  do {
    const std::size_t length = std::min(kMaxBody, body.size() - at);
    out += EncodePacket({reply.id, reply.type, std::string(body.substr(at, length))});
    at += length;
  } while (at < body.size());
  return out;
}

}  // namespace devserver::rcon
