#pragma once

namespace cairnward {

// Attach: logger, configuration, a recount when the server is up, then the
// commands and the six hooks. Throws when the configuration or the recount
// fails; nothing is registered then.
void Load();

// Detach: removes the commands and the six hooks, whatever Load got to.
void Unload();

}  // namespace cairnward
