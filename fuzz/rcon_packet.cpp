// libFuzzer target for the RCON packet codec. Beyond not crashing, it holds
// the codec to what the listener relies on: a parse never reaches past its
// input, a packet re-encodes to the very bytes it came from, a verdict on a
// prefix stands once more bytes arrive, and a reply of any length comes back
// whole from the packets it is cut into.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "rcon_codec.h"

namespace {

using devserver::rcon::EncodePacket;
using devserver::rcon::EncodeReply;
using devserver::rcon::kMaxBody;
using devserver::rcon::kMaxPacketBytes;
using devserver::rcon::kMinSize;
using devserver::rcon::kSizeField;
using devserver::rcon::Packet;
using devserver::rcon::ParsePacket;
using devserver::rcon::ParseResult;
using Status = ParseResult::Status;

void Require(bool holds) {
  if (!holds) {
    std::abort();
  }
}

// A copy on the heap of exactly the bytes given, so that AddressSanitizer
// sees any read past them.
ParseResult ParseExactly(std::string_view bytes) {
  const std::string copy(bytes);
  return ParsePacket(copy);
}

void CheckPacket(std::string_view bytes, const ParseResult& parsed) {
  Require(parsed.consumed >= kSizeField + kMinSize);
  Require(parsed.consumed <= bytes.size());
  Require(parsed.consumed <= kMaxPacketBytes);
  Require(parsed.packet.body.size() <= kMaxBody);
  Require(parsed.packet.body.find('\0') == std::string::npos);
  Require(EncodePacket(parsed.packet) == bytes.substr(0, parsed.consumed));
  // Every byte of a packet is needed: any shorter prefix asks for more.
  Require(ParseExactly(bytes.substr(0, parsed.consumed - 1)).status == Status::kNeedMore);
  Require(ParseExactly(bytes.substr(0, parsed.consumed / 2)).status == Status::kNeedMore);
}

// The listener reads until a verdict, so a verdict must not change with
// what follows: malformed stays malformed, a packet stays the same packet.
void CheckStable(std::string_view bytes, const ParseResult& parsed) {
  std::string longer(bytes);
  longer.append(kMaxPacketBytes, '\0');
  const ParseResult extended = ParseExactly(longer);
  Require(extended.status != Status::kNeedMore);
  if (parsed.status == Status::kMalformed) {
    Require(extended.status == Status::kMalformed);
    Require(!parsed.error.empty());
  } else if (parsed.status == Status::kPacket) {
    Require(extended.status == Status::kPacket);
    Require(extended.consumed == parsed.consumed);
    Require(extended.packet == parsed.packet);
  }
}

// A stream of packets, as a client sends them back to back: what the parses
// take re-encodes to the stream's head.
void CheckStream(std::string_view bytes) {
  std::string again;
  std::size_t at = 0;
  while (true) {
    const ParseResult parsed = ParseExactly(bytes.substr(at));
    if (parsed.status != Status::kPacket) {
      break;
    }
    again += EncodePacket(parsed.packet);
    at += parsed.consumed;
  }
  Require(again == bytes.substr(0, at));
}

// `body` as a reply, with an id and a type taken from its head.
void CheckReply(std::string body) {
  Packet reply;
  if (body.size() >= 8) {
    std::memcpy(&reply.id, body.data(), 4);
    std::memcpy(&reply.type, body.data() + 4, 4);
  }
  reply.body = std::move(body);
  const std::string_view text = std::string_view(reply.body).substr(0, reply.body.find('\0'));

  const std::string encoded = EncodeReply(reply);
  std::string joined;
  std::size_t packets = 0;
  std::size_t at = 0;
  while (at < encoded.size()) {
    const ParseResult parsed = ParseExactly(std::string_view(encoded).substr(at));
    Require(parsed.status == Status::kPacket);
    Require(parsed.packet.id == reply.id && parsed.packet.type == reply.type);
    // Only the last packet may be short.
    Require(parsed.packet.body.size() == kMaxBody || at + parsed.consumed == encoded.size());
    joined += parsed.packet.body;
    at += parsed.consumed;
    ++packets;
  }
  Require(joined == text);
  Require(packets == (text.empty() ? 1 : (text.size() + kMaxBody - 1) / kMaxBody));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ParseResult parsed = ParsePacket(bytes);
  if (parsed.status == Status::kPacket) {
    CheckPacket(bytes, parsed);
  } else {
    Require(parsed.consumed == 0);
  }
  CheckStable(bytes, parsed);
  CheckStream(bytes);
  CheckReply(std::string(bytes));
  // Inputs rarely go long without a NUL; without them every length is tried.
  std::string solid(bytes);
  std::replace(solid.begin(), solid.end(), '\0', ' ');
  CheckReply(std::move(solid));
  return 0;
}
