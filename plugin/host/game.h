#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "api/game_members.h"

namespace cairnward {

// Game functions and fields are resolved by name through the host once, at
// their first use, and kept: the host's addresses do not change while it
// runs, and a field lies at the same offset in every object that has it.
// Load and Unload forget them all, so that a load never uses what a previous
// host answered; so must anything that swaps a host function the plug-in
// has used.
void ForgetGameAddresses();

namespace detail {

// Raised by ForgetGameAddresses; a resolution made under another value is stale.
extern std::uint32_t game_address_epoch;

template <typename Descriptor>
struct FieldTraits;
template <typename Value>
struct FieldTraits<GameField<Value>> {
  using Type = Value;
};

}  // namespace detail

// The game function behind a descriptor.
template <const auto& kFunction>
auto GameFunctionAddress() -> decltype(Resolve(kFunction)) {
  static decltype(Resolve(kFunction)) address = nullptr;
  static std::uint32_t epoch = 0;
  if (epoch != detail::game_address_epoch) {
    address = Resolve(kFunction);
    epoch = detail::game_address_epoch;
  }
  return address;
}

// Calls a game function, the object first.
template <const auto& kFunction, typename... Args>
decltype(auto) CallGame(Args&&... args) {
  return GameFunctionAddress<kFunction>()(std::forward<Args>(args)...);
}

namespace detail {

// Where a field lies in the objects that have it, as the host answered.
template <const auto& kField>
struct FieldOffset {
  static inline std::ptrdiff_t offset = 0;
  static inline std::uint32_t epoch = 0;
};

}  // namespace detail

// A game field of one object. The first use asks the host, which checks the
// object; later uses add the offset it answered.
template <const auto& kField>
auto& Field(const void* object) {
  using Value = typename detail::FieldTraits<std::remove_cvref_t<decltype(kField)>>::Type;
  using Offset = detail::FieldOffset<kField>;
  if (Offset::epoch != detail::game_address_epoch) {
    Value& value = FieldOf(object, kField);
    Offset::offset = reinterpret_cast<const char*>(&value) - static_cast<const char*>(object);
    Offset::epoch = detail::game_address_epoch;
    return value;
  }
  return *reinterpret_cast<Value*>(static_cast<char*>(const_cast<void*>(object)) + Offset::offset);
}

// Asks the processor to fetch a field of an object that is about to be read,
// once Field has learnt where it lies; reads nothing itself.
template <const auto& kField>
void PrefetchField(const void* object) {
  using Offset = detail::FieldOffset<kField>;
  if (Offset::epoch == detail::game_address_epoch) {
    __builtin_prefetch(static_cast<const char*>(object) + Offset::offset);
  }
}

// Console commands receive the engine's base controller type; every player
// controller in this game is a shooter controller.
inline AShooterPlayerController* AsShooter(APlayerController* player) {
  return static_cast<AShooterPlayerController*>(player);
}

}  // namespace cairnward
