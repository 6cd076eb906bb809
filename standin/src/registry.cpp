#include "standin/registry.h"

#include <map>

#include "api/address.h"
#include "standin/strict.h"

namespace standin {
namespace {

std::map<std::string, void*>& functions() {
  static std::map<std::string, void*> table;
  return table;
}

std::map<std::string, FieldAccessor>& fields() {
  static std::map<std::string, FieldAccessor> table;
  return table;
}

}  // namespace

void RegisterFunctionAddress(const std::string& name, void* address) {
  functions()[name] = address;
}

void RegisterFieldAccessor(const std::string& name, FieldAccessor accessor) {
  fields()[name] = accessor;
}

bool HasFunction(const std::string& name) {
  return functions().count(name) != 0;
}

void* FunctionAddress(const std::string& name) {
  const auto it = functions().find(name);
  if (it == functions().end()) {
    Violation("GetAddress: unknown game function \"" + name + "\"");
  }
  return it->second;
}

std::vector<std::string> FunctionNames() {
  std::vector<std::string> names;
  names.reserve(functions().size());
  for (const auto& entry : functions()) {
    names.push_back(entry.first);
  }
  return names;
}

}  // namespace standin

void* GetAddress(const std::string& name) {
  return standin::FunctionAddress(name);
}

void* GetAddress(const void* base, const std::string& name) {
  const auto it = standin::fields().find(name);
  if (it == standin::fields().end()) {
    standin::Violation("GetAddress: unknown game field \"" + name + "\"");
  }
  if (base == nullptr) {
    standin::Violation("GetAddress: field \"" + name + "\" asked of a null object");
  }
  return it->second(base);
}
