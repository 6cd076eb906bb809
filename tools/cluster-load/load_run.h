#pragma once

#include <functional>

#include "figures.h"
#include "plan.h"

namespace cluster_load {

// Runs the plan's scenarios against the Redis at plan.host:plan.port, which
// it empties first and leaves holding the cluster's data: the restart
// storm (always first: it loads the grids the others run on), the busy
// hour, then the refill storm. Each ends with the final check, and then
// `done` hears of the figures so far.
Figures RunLoad(const Plan& plan, const std::function<void(const Figures&)>& done = {});

}  // namespace cluster_load
