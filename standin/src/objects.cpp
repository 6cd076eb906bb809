#include "standin/objects.h"

#include <string>

#include "standin/live_objects.h"
#include "standin/strict.h"

namespace standin {

SimObject* Checked(const void* object, std::uint32_t kind, const char* who) {
  if (object == nullptr) {
    Violation(std::string(who) + ": null object");
  }
  SimObject* live = FindLive(object);
  if (live == nullptr) {
    Violation(std::string(who) + ": not a live game object");
  }
  if ((live->kinds & kind) != kind) {
    Violation(std::string(who) + ": object of the wrong kind");
  }
  return live;
}

}  // namespace standin
