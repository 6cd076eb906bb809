#pragma once

#include <string>
#include <vector>

namespace cairnward::testing {

// Collects what the process writes to standard output (the debug trace) while
// it lives.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Everything written so far, split into lines; stops the capture.
  std::vector<std::string> Lines();

 private:
  bool active_ = true;
};

}  // namespace cairnward::testing
