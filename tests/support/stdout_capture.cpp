#include "support/stdout_capture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace cairnward::testing {

StdoutCapture::StdoutCapture() {
  ::testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture() {
  if (active_) {
    ::testing::internal::GetCapturedStdout();
  }
}

std::vector<std::string> StdoutCapture::Lines() {
  active_ = false;
  std::istringstream text(::testing::internal::GetCapturedStdout());
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) {
    lines.push_back(line);
  }
  return lines;
}

}  // namespace cairnward::testing
