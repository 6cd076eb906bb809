#pragma once

#include <utility>

#include "api/game_members.h"

namespace cairnward {

// Calls a game function by name through the host, the object first.
template <typename R, typename... Params, typename... Args>
R CallGame(GameFunction<R(Params...)> function, Args&&... args) {
  return Resolve(function)(std::forward<Args>(args)...);
}

// A game field of one object, by name through the host.
template <typename Value>
Value& Field(const void* object, GameField<Value> field) {
  return FieldOf(object, field);
}

// Console commands receive the engine's base controller type; every player
// controller in this game is a shooter controller.
inline AShooterPlayerController* AsShooter(APlayerController* player) {
  return static_cast<AShooterPlayerController*>(player);
}

}  // namespace cairnward
