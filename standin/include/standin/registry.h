#pragma once

#include <string>
#include <vector>

#include "api/game_access.h"

namespace standin {

// Game functions and fields by name: what GetAddress answers.
using FieldAccessor = void* (*)(const void* object);

void RegisterFunctionAddress(const std::string& name, void* address);
void RegisterFieldAccessor(const std::string& name, FieldAccessor accessor);

template <typename R, typename... Args>
void RegisterFunction(GameFunction<R(Args...)> function, R (*implementation)(Args...)) {
  RegisterFunctionAddress(function.name, reinterpret_cast<void*>(implementation));
}

template <typename Value>
void RegisterField(GameField<Value> field, FieldAccessor accessor) {
  RegisterFieldAccessor(field.name, accessor);
}

bool HasFunction(const std::string& name);
void* FunctionAddress(const std::string& name);  // violation when unknown
std::vector<std::string> FunctionNames();

}  // namespace standin
