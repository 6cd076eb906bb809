#pragma once

#include <filesystem>

namespace devserver {

// The server folder used without --root, and the plug-in that "plugin load"
// installs into it.
struct Locations {
  std::filesystem::path root;
  std::filesystem::path plugin;
};

// Run from the build tree: the build's copy of examples/server and the
// plug-in just built. Run from an installation (bin/ beside AtlasApi/): the
// installation's own folder and plug-in, so that it needs no build tree.
Locations DefaultLocations(const std::filesystem::path& executable);

}  // namespace devserver
