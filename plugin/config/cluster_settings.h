#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "config/json_access.h"

namespace cairnward {

// "Cluster": where the cluster's Redis is and who this server is in it.
struct ClusterSettings {
  std::string host;
  std::int32_t port = 0;
  std::string password;  // empty: no AUTH
  std::int32_t database = 0;
  std::string name;                      // the cluster's, prefixing every key
  std::string server;                    // this grid server's, unique in the cluster
  std::chrono::milliseconds timeout{0};  // of the game thread, per hook
  std::chrono::milliseconds retry{0};    // the first wait before connecting again
  // Of each wait of the link's and the publication's threads on Redis.
  std::chrono::milliseconds background_timeout{2000};
  std::chrono::milliseconds heartbeat{1000};
  std::chrono::milliseconds lease{5000};
};

// None when the file has no "Cluster" (or a null one). A wrong type, a value
// out of range, or a missing or empty "Name" or "Server" fails with the JSON
// library's error, led by where it is.
std::optional<ClusterSettings> ParseClusterSettings(const Json& root);

}  // namespace cairnward
