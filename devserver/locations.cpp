#include "locations.h"

namespace devserver {

Locations DefaultLocations(const std::filesystem::path& executable) {
  const std::filesystem::path folder = executable.parent_path();
  const std::filesystem::path prefix = folder.parent_path();
  const std::filesystem::path installed = prefix / "AtlasApi/Plugins/Cairnward/Cairnward.so";
  std::error_code error;
  if (folder.filename() == "bin" && std::filesystem::is_regular_file(installed, error)) {
    return {prefix, installed};
  }
  return {CAIRNWARD_EXAMPLE_SERVER, CAIRNWARD_PLUGIN_LIBRARY};
}

}  // namespace devserver
