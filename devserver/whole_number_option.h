#pragma once

#include <charconv>
#include <cstdint>
#include <string>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

namespace devserver {

// A command-line check that an option's value is a whole number within
// [min, max], whose error says the range in words; CLI11 puts the option's
// name before it: "--rcon-max-failures: 0 is out of range: a whole number
// from 1 to 2147483647".
inline CLI::Validator WholeNumberIn(std::int64_t min, std::int64_t max) {
  return CLI::Validator(
      [min, max](const std::string& text) -> std::string {
        const std::string range = fmt::format("a whole number from {} to {}", min, max);
        std::int64_t value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (text.empty() || error == std::errc::invalid_argument || stop != end) {
          return fmt::format("\"{}\" is not {}", text, range);
        }
        if (error == std::errc::result_out_of_range || value < min || value > max) {
          return fmt::format("{} is out of range: {}", text, range);
        }
        return {};
      },
      "");
}

}  // namespace devserver
