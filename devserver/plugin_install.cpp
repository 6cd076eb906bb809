#include "plugin_install.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "args.h"

namespace devserver {
namespace {

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(b, error) ||
      std::filesystem::file_size(a) != std::filesystem::file_size(b, error) || error) {
    return false;
  }
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

}  // namespace

bool InstallPlugin(const std::filesystem::path& built, const std::filesystem::path& installed) {
  if (!std::filesystem::is_regular_file(built)) {
    throw CommandError("the built plug-in " + built.string() + " is missing; build the project");
  }
  if (SameBytes(built, installed)) {
    return false;
  }
  std::filesystem::create_directories(installed.parent_path());
  auto partial = installed;
  partial += ".partial";
  std::filesystem::copy_file(built, partial, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::rename(partial, installed);
  return true;
}

}  // namespace devserver
