#include "standin/live_objects.h"

#include <unordered_map>

namespace standin {
namespace {
std::unordered_map<const void*, SimObject*>& live() {
  static std::unordered_map<const void*, SimObject*> objects;
  return objects;
}
}  // namespace

void MarkLive(SimObject* object) {
  live()[object] = object;
}

void MarkDead(SimObject* object) {
  live().erase(object);
}

SimObject* FindLive(const void* address) {
  const auto it = live().find(address);
  return it == live().end() ? nullptr : it->second;
}

}  // namespace standin
