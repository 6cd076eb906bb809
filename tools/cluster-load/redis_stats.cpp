#include "redis_stats.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace cluster_load {
namespace {

double Number(std::string_view text) {
  return std::strtod(std::string(text).c_str(), nullptr);
}

std::int64_t Integer(std::string_view text) {
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// "calls=12,usec=345,usec_per_call=28.75[,...]"
CommandTime CommandOf(std::string_view value) {
  CommandTime time;
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    const std::string_view item = value.substr(0, comma);
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos) {
      const std::string_view name = item.substr(0, equals);
      const std::string_view number = item.substr(equals + 1);
      if (name == "calls") {
        time.calls = Integer(number);
      } else if (name == "usec") {
        time.usec = Integer(number);
      }
    }
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
  }
  return time;
}

}  // namespace

RedisStats ParseInfo(std::string_view info) {
  RedisStats stats;
  while (!info.empty()) {
    const std::size_t end = info.find('\n');
    std::string_view line = info.substr(0, end);
    info = end == std::string_view::npos ? std::string_view() : info.substr(end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    const std::size_t colon = line.find(':');
    if (line.empty() || line.front() == '#' || colon == std::string_view::npos) {
      continue;
    }
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 1);
    if (key == "redis_version") {
      stats.version = value;
    } else if (key == "used_cpu_sys" || key == "used_cpu_user") {
      stats.cpu_seconds += Number(value);
    } else if (key == "used_memory") {
      stats.used_memory = Integer(value);
    } else if (key.starts_with("cmdstat_")) {
      stats.commands[std::string(key.substr(8))] = CommandOf(value);
    }
  }
  return stats;
}

void StartLatencyMonitor(cairnward::RedisConnection& connection) {
  connection.Run(cairnward::Command{"CONFIG", "SET", "latency-monitor-threshold",
                                    std::to_string(kLatencyThresholdMs)});
  connection.Run(cairnward::Command{"LATENCY", "RESET"});
}

// LATENCY LATEST: per event, its name, when, the latest and the longest.
std::int64_t TakeLongestLatency(cairnward::RedisConnection& connection) {
  const cairnward::Reply latest = connection.Run(cairnward::Command{"LATENCY", "LATEST"});
  std::int64_t longest = 0;
  for (std::size_t i = 0; i < latest->elements; ++i) {
    const redisReply& event = *latest->element[i];
    if (event.elements >= 4 && event.element[3]->type == REDIS_REPLY_INTEGER) {
      longest = std::max<std::int64_t>(longest, event.element[3]->integer);
    }
  }
  connection.Run(cairnward::Command{"LATENCY", "RESET"});
  return longest;
}

RedisStats ReadStats(cairnward::RedisConnection& connection) {
  RedisStats stats;
  for (const char* section : {"server", "cpu", "memory", "commandstats"}) {
    const cairnward::Reply reply = connection.Run(cairnward::Command{"INFO", section});
    RedisStats part = ParseInfo(std::string_view(reply->str, reply->len));
    stats.version = part.version.empty() ? stats.version : part.version;
    stats.cpu_seconds += part.cpu_seconds;
    stats.used_memory += part.used_memory;
    stats.commands.merge(part.commands);
  }
  return stats;
}

std::map<std::string, CommandTime> CommandsBetween(const RedisStats& before,
                                                   const RedisStats& after) {
  std::map<std::string, CommandTime> between;
  for (const auto& [name, time] : after.commands) {
    CommandTime delta = time;
    if (const auto found = before.commands.find(name); found != before.commands.end()) {
      delta.calls -= found->second.calls;
      delta.usec -= found->second.usec;
    }
    if (delta.calls > 0) {
      between[name] = delta;
    }
  }
  return between;
}

}  // namespace cluster_load
