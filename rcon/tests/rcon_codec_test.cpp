#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "rcon_codec.h"
#include "rcon_packet_print.h"

namespace devserver::rcon {
namespace {

using Status = ParseResult::Status;
using namespace std::string_literals;

// Little-endian, as on the wire.
std::string Int32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return {static_cast<char>(bits & 0xFFU), static_cast<char>((bits >> 8) & 0xFFU),
          static_cast<char>((bits >> 16) & 0xFFU), static_cast<char>((bits >> 24) & 0xFFU)};
}

// A packet written by hand, with any size field and tail.
std::string Frame(std::int32_t size, std::int32_t id, std::int32_t type, const std::string& rest) {
  return Int32(size) + Int32(id) + Int32(type) + rest;
}

TEST(RconCodec, EncodesTheWireLayout) {
  EXPECT_EQ(EncodePacket({0x01020304, kExecCommand, "hi"}),
            "\x0c\x00\x00\x00"
            "\x04\x03\x02\x01"
            "\x02\x00\x00\x00"
            "hi\x00\x00"s);
  EXPECT_EQ(EncodePacket({-1, kAuthResponse, ""}), Frame(10, -1, 2, "\0\0"s));
}

TEST(RconCodec, ParsesWhatItEncodesAndWaitsForTheRest) {
  const Packet first{42, kAuth, "secret"};
  const Packet second{-7, kResponseValue, ""};
  const std::string bytes = EncodePacket(first) + EncodePacket(second);
  const std::size_t first_size = EncodePacket(first).size();

  for (std::size_t n = 0; n < first_size; ++n) {
    EXPECT_EQ(ParsePacket(bytes.substr(0, n)).status, Status::kNeedMore) << n << " bytes";
  }
  const ParseResult one = ParsePacket(bytes);
  ASSERT_EQ(one.status, Status::kPacket);
  EXPECT_EQ(one.packet, first);
  EXPECT_EQ(one.consumed, first_size);
  const ParseResult two = ParsePacket(std::string_view(bytes).substr(one.consumed));
  ASSERT_EQ(two.status, Status::kPacket);
  EXPECT_EQ(two.packet, second);
}

TEST(RconCodec, SizesOutsideTheProtocolAreMalformedFromTheSizeFieldAlone) {
  for (const std::int32_t size : {-1, 0, 9, kMaxSize + 1, 0x7FFFFFFF}) {
    const ParseResult parsed = ParsePacket(Int32(size));
    EXPECT_EQ(parsed.status, Status::kMalformed) << size;
    EXPECT_NE(parsed.error.find(std::to_string(size)), std::string::npos) << parsed.error;
  }
  // Text where a size belongs, as from a client of another protocol.
  EXPECT_EQ(ParsePacket("GET / HTTP/1.1\r\n").status, Status::kMalformed);

  // The bounds themselves are fine.
  EXPECT_EQ(ParsePacket(Frame(kMinSize, 1, 2, "\0\0"s)).status, Status::kPacket);
  const std::string largest = EncodePacket({1, 2, std::string(kMaxBody, 'x')});
  ASSERT_EQ(largest.size(), kMaxPacketBytes);
  EXPECT_EQ(ParsePacket(largest).packet.body.size(), kMaxBody);
}

TEST(RconCodec, ABodyMustEndInTwoNulsAndHoldNoOther) {
  EXPECT_EQ(ParsePacket(Frame(12, 1, 2, "abcd")).status, Status::kMalformed);
  EXPECT_EQ(ParsePacket(Frame(12, 1, 2, "ab\0x"s)).status, Status::kMalformed);
  EXPECT_EQ(ParsePacket(Frame(12, 1, 2, "a\0\0\0"s)).status, Status::kMalformed);
  EXPECT_EQ(ParsePacket(Frame(12, 1, 2, "ab\0\0"s)).packet.body, "ab");
}

TEST(RconCodec, ALongReplyIsSplitIntoFullPacketsOfOneId) {
  EXPECT_EQ(EncodeReply({5, kResponseValue, ""}), EncodePacket({5, kResponseValue, ""}));
  EXPECT_EQ(EncodeReply({5, kResponseValue, std::string(kMaxBody, 'a')}),
            EncodePacket({5, kResponseValue, std::string(kMaxBody, 'a')}));

  const std::string text = std::string(kMaxBody, 'a') + std::string(kMaxBody, 'b') + "c";
  const std::string bytes = EncodeReply({5, kResponseValue, text});
  std::string joined;
  std::size_t at = 0;
  int packets = 0;
  while (at < bytes.size()) {
    const ParseResult parsed = ParsePacket(std::string_view(bytes).substr(at));
    ASSERT_EQ(parsed.status, Status::kPacket);
    EXPECT_EQ(parsed.packet.id, 5);
    joined += parsed.packet.body;
    at += parsed.consumed;
    ++packets;
  }
  EXPECT_EQ(packets, 3);
  EXPECT_EQ(joined, text);
}

TEST(RconCodec, AReplyEndsAtItsFirstNul) {
  EXPECT_EQ(EncodeReply({1, kResponseValue, "shown\0hidden"s}),
            EncodePacket({1, kResponseValue, "shown"}));
}

}  // namespace
}  // namespace devserver::rcon
