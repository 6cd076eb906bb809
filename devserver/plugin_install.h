#pragma once

#include <filesystem>

namespace devserver {

// Makes `installed` a copy of `built` unless it already holds the same bytes.
// The copy is written aside and renamed into place, so a library that a
// process still maps is never rewritten under it. Answers whether it copied.
bool InstallPlugin(const std::filesystem::path& built, const std::filesystem::path& installed);

}  // namespace devserver
