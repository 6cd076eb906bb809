#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "cluster/redis_connection.h"

namespace cluster_load {

// Redis's own time for one kind of command.
struct CommandTime {
  std::int64_t calls = 0;
  std::int64_t usec = 0;
};

// What Redis says of itself at one moment (INFO).
struct RedisStats {
  std::string version;
  double cpu_seconds = 0;                       // used_cpu_sys + used_cpu_user
  std::int64_t used_memory = 0;                 // bytes
  std::map<std::string, CommandTime> commands;  // by command, lower case
};

// Parses the text of INFO (all of its sections, or those asked).
RedisStats ParseInfo(std::string_view info);
// Asks Redis.
RedisStats ReadStats(cairnward::RedisConnection& connection);

// Redis's latency monitor, which notes every command (and other event) that
// held its one thread for longer than the threshold: set, and emptied.
inline constexpr int kLatencyThresholdMs = 5;
void StartLatencyMonitor(cairnward::RedisConnection& connection);
// The longest such event since it was emptied, in ms (0: none over the
// threshold), and the monitor emptied again.
std::int64_t TakeLongestLatency(cairnward::RedisConnection& connection);

// What changed between two readings: commands called between them.
std::map<std::string, CommandTime> CommandsBetween(const RedisStats& before,
                                                   const RedisStats& after);

}  // namespace cluster_load
