#pragma once

namespace cairnward {

// Attach: logger, configuration, a recount when the server is up, then the
// six commands and six hooks. Throws when the configuration or the recount
// fails; nothing is registered then.
void Load();

// Detach: removes the six commands and six hooks, whatever Load got to.
void Unload();

}  // namespace cairnward
