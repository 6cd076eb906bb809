#pragma once

#include "api/address.h"

// A game function or field by name, with its exact type. Plug-ins resolve
// them through the host; the host registers its implementations through the
// same descriptors, so both sides agree on every type at compile time.
template <typename Signature>
struct GameFunction {
  const char* name;
};

template <typename Value>
struct GameField {
  const char* name;
};

// The function behind a descriptor, resolved by name through the host.
template <typename R, typename... Args>
R (*Resolve(GameFunction<R(Args...)> function))
(Args...) {
  return reinterpret_cast<R (*)(Args...)>(GetAddress(function.name));
}

// The field behind a descriptor inside one object, resolved by name through the host.
// A field lies at the same offset in every object that has it, as in the game.
template <typename Value>
Value& FieldOf(const void* object, GameField<Value> field) {
  return *static_cast<Value*>(GetAddress(object, field.name));
}
