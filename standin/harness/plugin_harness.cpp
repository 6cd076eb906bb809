#include "harness/plugin_harness.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "standin/memory.h"
#include "standin/strict.h"

namespace harness {
namespace {

constexpr const char* kPluginName = "Cairnward";

std::filesystem::path FreshFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cairnward-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a server folder under " + pattern);
  }
  return pattern;
}

}  // namespace

nlohmann::json BaselineConfig() {
  return nlohmann::json::parse(R"({
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

PluginHarness::PluginHarness(HarnessOptions options)
    : options_(std::move(options)), root_(options_.root), own_root_(root_.empty()) {
  standin::ClearViolations();
  if (own_root_) {
    root_ = FreshFolder();
  } else {
    std::error_code ignored;
    std::filesystem::remove_all(root_ / "AtlasApi" / "Logs", ignored);
  }
  const auto plugin_dir = root_ / "AtlasApi" / "Plugins" / kPluginName;
  std::filesystem::create_directories(plugin_dir);
  if (!options_.library.empty()) {
    const auto installed = plugin_dir / (std::string(kPluginName) + ".so");
    std::filesystem::remove(installed);
    std::filesystem::create_symlink(options_.library, installed);
  }
  blocks_before_ = standin::Memory().live_blocks;
  server_ = std::make_unique<standin::Server>(root_, options_.server);
}

PluginHarness::~PluginHarness() {
  if (server_) {
    Finish();
  }
}

std::filesystem::path PluginHarness::ConfigFile() const {
  return root_ / "AtlasApi" / "Plugins" / kPluginName / "config.json";
}

void PluginHarness::WriteConfig(const nlohmann::json& config) {
  WriteConfigText(config.dump(2));
}

void PluginHarness::WriteConfigText(std::string_view text) {
  std::ofstream(ConfigFile(), std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
  config_written_ = true;
}

void PluginHarness::RemoveConfig() {
  std::error_code ignored;
  std::filesystem::remove(ConfigFile(), ignored);
  config_written_ = true;
}

void PluginHarness::WriteBaselineUnlessWritten() {
  if (!config_written_) {
    WriteConfig(BaselineConfig());
  }
}

bool PluginHarness::Load() {
  WriteBaselineUnlessWritten();
  return server_->LoadPlugin(kPluginName);
}

bool PluginHarness::LoadLinked(plugin_entry::EntryFn entry) {
  WriteBaselineUnlessWritten();
  return server_->LoadLinkedPlugin(entry, kPluginName);
}

std::vector<std::string> PluginHarness::Finish() {
  std::vector<std::string> problems;
  if (!server_) {
    return problems;
  }
  server_->UnloadPlugin();
  if (options_.forget_plugin_state) {
    options_.forget_plugin_state();
  }
  server_.reset();
  for (const std::string& violation : standin::Violations()) {
    problems.push_back("host violation: " + violation);
  }
  const std::size_t blocks = standin::Memory().live_blocks;
  if (blocks != blocks_before_) {
    problems.push_back("FMemory blocks leaked: " + std::to_string(blocks - blocks_before_));
  }
  if (own_root_) {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  return problems;
}

}  // namespace harness
