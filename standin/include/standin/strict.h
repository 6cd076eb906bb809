#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// A misuse of the host interface by a plug-in: an unknown name, a foreign or
// freed block, a field asked of the wrong object. Each one is printed, kept for
// the test to see, and thrown, so it can never pass silently.
class HostViolation : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] void Violation(const std::string& what);
// The same record, for places that must go on (an unload that cleans up after a plug-in).
void NoteViolation(const std::string& what);

// Violations seen since the last Clear, oldest first.
const std::vector<std::string>& Violations();
void ClearViolations();

}  // namespace standin
