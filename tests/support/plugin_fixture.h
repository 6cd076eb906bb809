#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/common.h>
#include <nlohmann/json.hpp>

#include "standin/server.h"

namespace cairnward::testing {

using Json = nlohmann::json;

// A complete configuration with every key set, as an administrator would
// write it. Tests change what they are about and leave the rest.
Json DefaultConfig();

// One stand-in game server per test, in its own server folder with the built
// plug-in installed. At the end of every test the plug-in is unloaded and the
// server shut down, and the test fails if the host saw a violation or any
// FMemory block is still live.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  standin::Server& server() { return *server_; }
  standin::World& world() { return server_->GetWorld(); }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path ConfigFile() const;

  void WriteConfig(const Json& config);
  void WriteConfigText(const std::string& text);
  void RemoveConfig();

  // Loads with DefaultConfig() unless a config was written already.
  bool LoadPlugin();
  void UnloadPlugin() { server_->UnloadPlugin(); }

  // Texts of the log lines, all or at one level.
  std::vector<std::string> LogLines() const;
  std::vector<std::string> LogLines(spdlog::level::level_enum level) const;
  std::vector<std::string> PluginLogLines(spdlog::level::level_enum level) const;

  // The host's violations so far, which the test then expects; they no
  // longer fail it.
  std::vector<std::string> TakeViolations();

 private:
  std::filesystem::path root_;
  std::unique_ptr<standin::Server> server_;
  std::size_t blocks_before_ = 0;
  bool config_written_ = false;
};

}  // namespace cairnward::testing
