#pragma once

#include <string>
#include <string_view>

namespace cairnward {

// "cairnward.cluster retire GRID | rebuild | check": the reply to the words
// after the command's name (UTF-8). A repair starts on the cluster's own
// thread and the reply says so at once; its result goes to the log and to
// cairnward.status. Otherwise the reply says why nothing started: no
// cluster, a repair already under way, or a usage line.
std::string ClusterCommandReply(std::string_view arguments);

inline constexpr std::string_view kClusterUsage =
    "Usage: cairnward.cluster retire GRID | rebuild | check";

}  // namespace cairnward
