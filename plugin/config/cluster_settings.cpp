#include "config/cluster_settings.h"

#include "config/read_at.h"
#include "config/settings.h"

namespace cairnward {
namespace {

std::int32_t SettingInteger(const Json& cluster, const Setting& key) {
  return ReadAt(PlaceOf({"Cluster", key.name}), [&] {
    const Json* member = FindMember(cluster, key.name);
    return member != nullptr ? ReadInRange(*member, key) : std::get<std::int32_t>(key.fallback);
  });
}

std::string TextOf(const Json& cluster, const Setting& key) {
  return ReadAt(PlaceOf({"Cluster", key.name}), [&] {
    const Json* member = FindMember(cluster, key.name);
    if (member == nullptr && std::holds_alternative<std::string_view>(key.fallback)) {
      return std::string(std::get<std::string_view>(key.fallback));
    }
    return ReadText(member != nullptr ? *member : Required(cluster, key.name), key);
  });
}

}  // namespace

std::optional<ClusterSettings> ParseClusterSettings(const Json& root) {
  const Json& cluster = ObjectOf(root, settings::kCluster.name, PlaceOf({"Cluster"}));
  if (cluster.is_null()) {
    return std::nullopt;
  }
  ClusterSettings read;
  read.host = TextOf(cluster, settings::kClusterHost);
  read.port = SettingInteger(cluster, settings::kClusterPort);
  read.password = TextOf(cluster, settings::kClusterPassword);
  read.database = SettingInteger(cluster, settings::kClusterDatabase);
  read.name = TextOf(cluster, settings::kClusterName);
  read.server = TextOf(cluster, settings::kClusterServer);
  read.timeout = std::chrono::milliseconds(SettingInteger(cluster, settings::kClusterTimeoutMs));
  read.retry = std::chrono::milliseconds(SettingInteger(cluster, settings::kClusterRetryMs));
  read.background_timeout =
      std::chrono::milliseconds(SettingInteger(cluster, settings::kClusterBackgroundTimeoutMs));
  read.heartbeat =
      std::chrono::milliseconds(SettingInteger(cluster, settings::kClusterHeartbeatMs));
  read.lease = std::chrono::milliseconds(SettingInteger(cluster, settings::kClusterLeaseMs));
  return read;
}

}  // namespace cairnward
