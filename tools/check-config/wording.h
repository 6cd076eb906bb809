#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "config/settings.h"

// Small pieces of the checker's texts, shared by every kind of check.
namespace checkconfig {

std::string Quoted(std::string_view text);

// ASCII letters in lower case: how the plug-in compares blueprint paths, and
// how names are compared for a suggestion.
std::string Folded(std::string_view text);

// Where the table puts a setting, with the blueprint level spelt out.
std::string TablePointer(const cairnward::Setting& setting);

// "It is read <when>".
std::string ReadAt(const cairnward::Setting& setting);

// The end of a sentence that tells what the plug-in logs, or "." when it
// logs nothing.
std::string Logs(const std::string& failure);

// The text of the failure `read` ends in, or "" when it passes.
template <typename Read>
std::string ErrorOf(Read&& read) {
  try {
    read();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace checkconfig
