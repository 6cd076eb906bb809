#pragma once

#include <cstdio>
#include <string>

namespace devserver {

// A temporary file to hand where a FILE* is written to, read back whole.
class CapturedText {
 public:
  CapturedText() : file_(std::tmpfile()) {}
  ~CapturedText() { std::fclose(file_); }
  CapturedText(const CapturedText&) = delete;
  CapturedText& operator=(const CapturedText&) = delete;

  [[nodiscard]] std::FILE* File() const { return file_; }

  std::string Read() {
    std::fflush(file_);
    std::rewind(file_);
    std::string all;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file_) != nullptr) {
      all += buffer;
    }
    return all;
  }

 private:
  std::FILE* file_;
};

}  // namespace devserver
