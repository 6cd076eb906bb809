#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The Source RCON wire format, as pure functions over bytes. A packet is, in
// little-endian order: int32 size (the bytes that follow it), int32 id,
// int32 type, the body, a NUL, and one more NUL.
namespace devserver::rcon {

inline constexpr std::size_t kSizeField = 4;
// The smallest packet: id, type and the two NULs.
inline constexpr std::int32_t kMinSize = 10;
// The largest packet that clients send or expect, counted as the size field.
inline constexpr std::int32_t kMaxSize = 4096;
inline constexpr std::size_t kMaxPacketBytes = kSizeField + kMaxSize;
inline constexpr std::size_t kMaxBody = kMaxSize - kMinSize;

// Packet types. 2 means one thing from a client and another from the server.
inline constexpr std::int32_t kResponseValue = 0;
inline constexpr std::int32_t kExecCommand = 2;
inline constexpr std::int32_t kAuthResponse = 2;
inline constexpr std::int32_t kAuth = 3;

struct Packet {
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::string body;

  bool operator==(const Packet&) const = default;
};

struct ParseResult {
  enum class Status { kPacket, kNeedMore, kMalformed };
  Status status = Status::kNeedMore;
  Packet packet;             // with kPacket
  std::size_t consumed = 0;  // with kPacket: the packet's bytes, size field included
  std::string error;         // with kMalformed: what is wrong, for a log line
};

// The packet at the start of `bytes`. kNeedMore when `bytes` hold only part
// of one; kMalformed as soon as the bytes at hand cannot begin a packet: a
// size below kMinSize or above kMaxSize, a body with a NUL inside, or a
// packet that does not end in two NULs. Reads nothing past `bytes`.
ParseResult ParsePacket(std::string_view bytes);

// One packet. The body must hold no NUL and at most kMaxBody bytes.
std::string EncodePacket(const Packet& packet);

// A reply of any length: its body up to the first NUL (where the game's text
// ends), cut into as many packets of the same id and type as it needs. An
// empty body is one empty packet.
std::string EncodeReply(const Packet& reply);

}  // namespace devserver::rcon
