#pragma once

#include <memory>

#include <spdlog/logger.h>

namespace cairnward {

// The holder of the plug-in's one logger, over the host's sinks. Empty until
// Load creates the logger; kept until the library goes away.
std::shared_ptr<spdlog::logger>& PluginLogger();

// The logger itself. Before Load has made one, a logger without sinks, so a
// write can never fail for want of it.
spdlog::logger& Log();

// Creates the logger as the plug-in wants it: named "Cairnward-Alpha1", over
// a copy of the host's sink list, local-time pattern, flushed on info.
void CreatePluginLogger();

}  // namespace cairnward
