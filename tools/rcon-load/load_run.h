#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "figures.h"

namespace rcon_load {

struct Launch {
  std::filesystem::path devserver;
  std::optional<std::filesystem::path> root;  // the server folder, else the devserver's default
  std::optional<std::filesystem::path> server_output;  // a copy of everything it prints
  std::chrono::seconds time_limit{600};
};

// Starts the development server with the plug-in loaded, puts `plan` on it,
// and measures. Throws std::runtime_error when the server cannot be started.
Figures RunLoad(const Plan& plan, const Launch& launch);

}  // namespace rcon_load
