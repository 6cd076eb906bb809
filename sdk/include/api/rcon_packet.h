#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "api/fstring.h"

// One RCON request as the host hands it to a command handler.
struct RCONPacket {
  std::int32_t Length = 0;
  std::int32_t Id = 0;  // request id: replies carry it back
  std::int32_t Type = 0;
  FString Body;
};

static_assert(std::is_standard_layout_v<RCONPacket>);
static_assert(offsetof(RCONPacket, Length) == 0);
static_assert(offsetof(RCONPacket, Id) == 4);
static_assert(offsetof(RCONPacket, Type) == 8);
static_assert(offsetof(RCONPacket, Body) == 16);
static_assert(sizeof(RCONPacket) == 32);
