#include "cluster/cluster_status.h"

#include "cluster/cluster_counts.h"

namespace cairnward {

std::vector<std::string> ClusterStatusLines() {
  if (!ClusterConfigured()) {
    return {};
  }
  return {ClusterUp() ? "Cluster: configured, link up" : "Cluster: configured, link down"};
}

}  // namespace cairnward
