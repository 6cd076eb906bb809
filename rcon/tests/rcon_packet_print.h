#pragma once

#include <ostream>

#include "rcon_codec.h"

namespace devserver::rcon {

// How a packet shows in a failed expectation. Every test that compares
// packets includes this, so that all of them print packets alike.
inline void PrintTo(const Packet& packet, std::ostream* out) {
  *out << "{id " << packet.id << ", type " << packet.type << ", \"" << packet.body << "\"}";
}

}  // namespace devserver::rcon
