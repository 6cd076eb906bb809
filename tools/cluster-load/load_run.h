#pragma once

#include "figures.h"
#include "plan.h"

namespace cluster_load {

// Runs the plan's scenarios against the Redis at plan.host:plan.port, which
// it empties first and leaves holding the cluster's data: the restart
// storm (always first: it loads the grids the others run on), the busy
// hour, then the refill storm. Each ends with the final check.
Figures RunLoad(const Plan& plan);

}  // namespace cluster_load
