#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "api/fstring.h"

// The game's chat-message record, taken by value by "ClientChatMessage".
// Only the sender name and the message carry anything from a plug-in.
struct FChatMessage {
  FString SenderName;
  FString SenderSteamName;
  FString SenderTribeName;
  std::uint32_t SenderId = 0;
  FString Message;
  FString Receiver;
  std::int32_t SenderTeamIndex = 0;
  double ReceivedTime = -1.0;
  std::uint8_t SendMode = 0;
  std::uint32_t RadioFrequency = 0;
  std::uint8_t ChatType = 0;
  void* SenderIcon = nullptr;
  FString UserId;
};

static_assert(std::is_standard_layout_v<FChatMessage>);
static_assert(sizeof(FChatMessage) == 144);
static_assert(offsetof(FChatMessage, SenderName) == 0);
static_assert(offsetof(FChatMessage, SenderSteamName) == 16);
static_assert(offsetof(FChatMessage, SenderTribeName) == 32);
static_assert(offsetof(FChatMessage, SenderId) == 48);
static_assert(offsetof(FChatMessage, Message) == 56);
static_assert(offsetof(FChatMessage, Receiver) == 72);
static_assert(offsetof(FChatMessage, SenderTeamIndex) == 88);
static_assert(offsetof(FChatMessage, ReceivedTime) == 96);
static_assert(offsetof(FChatMessage, SendMode) == 104);
static_assert(offsetof(FChatMessage, RadioFrequency) == 108);
static_assert(offsetof(FChatMessage, ChatType) == 112);
static_assert(offsetof(FChatMessage, SenderIcon) == 120);
static_assert(offsetof(FChatMessage, UserId) == 128);
