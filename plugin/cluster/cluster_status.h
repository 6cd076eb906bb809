#pragma once

#include <string>
#include <vector>

namespace cairnward {

// The cluster's lines of cairnward.status, in UTF-8, one per element and
// without line breaks; none when no "Cluster" is configured, which the
// status reply then says itself.
std::vector<std::string> ClusterStatusLines();

}  // namespace cairnward
