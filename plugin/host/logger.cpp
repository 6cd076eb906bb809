#include "host/logger.h"

#include "api/ark_api.h"

namespace cairnward {

std::shared_ptr<spdlog::logger>& PluginLogger() {
  static std::shared_ptr<spdlog::logger> holder;
  return holder;
}

spdlog::logger& Log() {
  static spdlog::logger silent("Cairnward-Alpha1");
  const auto& logger = PluginLogger();
  return logger ? *logger : silent;
}

void CreatePluginLogger() {
  const auto& sinks = GetLogSinks();
  auto logger = std::make_shared<spdlog::logger>("Cairnward-Alpha1", sinks.begin(), sinks.end());
  logger->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
  logger->flush_on(spdlog::level::info);
  PluginLogger() = std::move(logger);
}

}  // namespace cairnward
