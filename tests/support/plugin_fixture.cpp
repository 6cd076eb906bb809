#include "support/plugin_fixture.h"

#include <cstdlib>
#include <fstream>

#include "standin/memory.h"
#include "standin/strict.h"

namespace cairnward::testing {

Json DefaultConfig() {
  return Json::parse(R"({
    "Debug": false,
    "General": {
      "IgnoreAdmin": false,
      "MaxAmount": 100,
      "NotificationScale": 1.5,
      "NotificationDisplayTime": 5.0
    },
    "Structures": {
      "Blueprint'/Game/Structures/Wall.Wall'": { "Count": 3, "Name": "Wall" },
      "Blueprint'/Game/Structures/Foundation.Foundation'": { "Count": 10, "Name": "Foundation" }
    },
    "Messages": {
      "ShowLimitsCmd": "/limits",
      "ReachLimit": "You have reached the limit for this structure",
      "InvitingMergeFail": "The merged tribe would exceed its structure limits",
      "InvitedMergeFail": "Your tribe's structures would exceed the merged tribe's limits",
      "InvitingTribeFail": "This player's structures would exceed your tribe's limits",
      "InvitedPlayerFail": "Your structures would exceed that tribe's limits",
      "ShowLimitMsg": "{}: {}/{}\n",
      "TotalLimitMsg": "Total: {}/{}",
      "Sender": "Cairnward",
      "ShowLimitsType": "Notification",
      "NotificationColor": { "Red": 1.0, "Green": 0.8, "Blue": 0.2 },
      "ShowLimitsScale": 1.2,
      "ShowLimitsDisplayTime": 8.0
    }
  })");
}

void PluginTest::SetUp() {
  standin::ClearViolations();
  std::string pattern = (std::filesystem::temp_directory_path() / "cairnward-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  const auto plugin_dir = root_ / "AtlasApi" / "Plugins" / "Cairnward";
  std::filesystem::create_directories(plugin_dir);
  std::filesystem::create_symlink(CAIRNWARD_PLUGIN_LIBRARY, plugin_dir / "Cairnward.so");
  blocks_before_ = standin::Memory().live_blocks;
  server_ = std::make_unique<standin::Server>(root_);
}

void PluginTest::TearDown() {
  server_->UnloadPlugin();
  server_.reset();
  EXPECT_EQ(standin::Memory().live_blocks, blocks_before_) << "FMemory blocks leaked";
  EXPECT_TRUE(standin::Violations().empty())
      << "host violations, first: " << standin::Violations().front();
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path PluginTest::ConfigFile() const {
  return root_ / "AtlasApi" / "Plugins" / "Cairnward" / "config.json";
}

void PluginTest::WriteConfig(const Json& config) {
  WriteConfigText(config.dump(2));
}

void PluginTest::WriteConfigText(const std::string& text) {
  std::ofstream(ConfigFile(), std::ios::binary | std::ios::trunc) << text;
  config_written_ = true;
}

void PluginTest::RemoveConfig() {
  std::filesystem::remove(ConfigFile());
  config_written_ = true;
}

bool PluginTest::LoadPlugin() {
  if (!config_written_) {
    WriteConfig(DefaultConfig());
  }
  return server_->LoadPlugin();
}

std::vector<std::string> PluginTest::LogLines() const {
  std::vector<std::string> lines;
  for (const auto& record : server_->Log()) {
    lines.push_back(record.text);
  }
  return lines;
}

std::vector<std::string> PluginTest::LogLines(spdlog::level::level_enum level) const {
  std::vector<std::string> lines;
  for (const auto& record : server_->Log()) {
    if (record.level == level) {
      lines.push_back(record.text);
    }
  }
  return lines;
}

std::vector<std::string> PluginTest::PluginLogLines(spdlog::level::level_enum level) const {
  std::vector<std::string> lines;
  for (const auto& record : server_->Log()) {
    if (record.level == level && record.logger == "Cairnward-Alpha1") {
      lines.push_back(record.text);
    }
  }
  return lines;
}

std::vector<std::string> PluginTest::TakeViolations() {
  std::vector<std::string> seen = standin::Violations();
  standin::ClearViolations();
  return seen;
}

}  // namespace cairnward::testing
