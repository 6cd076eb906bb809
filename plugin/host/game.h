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

}  // namespace cairnward
