#pragma once

namespace cairnward {

// Rebuilds every count from the configuration and the world.
void UpdateStructureCountAll();

}  // namespace cairnward
