#include "standin/strict.h"

#include <cstdio>

namespace standin {
namespace {
std::vector<std::string>& Seen() {
  static std::vector<std::string> seen;
  return seen;
}
}  // namespace

void NoteViolation(const std::string& what) {
  std::fprintf(stderr, "stand-in host: violation: %s\n", what.c_str());
  Seen().push_back(what);
}

void Violation(const std::string& what) {
  NoteViolation(what);
  throw HostViolation(what);
}

const std::vector<std::string>& Violations() {
  return Seen();
}

void ClearViolations() {
  Seen().clear();
}

}  // namespace standin
