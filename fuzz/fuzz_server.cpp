#include "fuzz_server.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "accounting/ledger.h"
#include "api/export.h"
#include "api/plugin_entry.h"
#include "api/rcon_packet.h"
#include "standin/memory.h"
#include "standin/strict.h"

// The plug-in's entry routine, linked in rather than loaded: the fuzzer sees
// its coverage, and a library is not opened and closed for every input.
CAIRN_PLUGIN_EXPORT bool PluginEntry(int reason);

namespace cairnward::fuzz {
namespace {

void RemoveRoot();

const std::filesystem::path& Root() {
  static const std::filesystem::path root = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cairnward-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      Fail("cannot make a server folder");
    }
    std::atexit(RemoveRoot);
    return std::filesystem::path(pattern);
  }();
  return root;
}

void RemoveRoot() {
  std::error_code ignored;
  std::filesystem::remove_all(Root(), ignored);
}

std::filesystem::path ConfigFile() {
  return Root() / "AtlasApi" / "Plugins" / "Cairnward" / "config.json";
}

}  // namespace

void Fail(std::string_view what) {
  std::fprintf(stderr, "cairnward fuzz: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

void SilenceStandardOutput() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    Fail("cannot silence standard output");
  }
}

const std::string_view kBaselineConfig = R"({
  "Debug": false,
  "General": {
    "IgnoreAdmin": true,
    "MaxAmount": 12,
    "NotificationScale": 1.3,
    "NotificationDisplayTime": 10.0
  },
  "Structures": {
    "Blueprint'/Game/Structures/Wall.Wall'": { "Count": 3, "Name": "Wall" },
    "Blueprint'/Game/Structures/Foundation.Foundation'": { "Count": 5, "Name": "Foundation" },
    "Blueprint'/Game/Odd/Brace{}.Brace{}'": { "Count": 2, "Name": "Brace {}" }
  },
  "Messages": {
    "ShowLimitsCmd": "/limits",
    "ReachLimit": "Your tribe has reached its limit for this structure.",
    "InvitingMergeFail": "Your tribes together would own too many structures.",
    "InvitedMergeFail": "The merged tribe would own too many structures.",
    "InvitingTribeFail": "That player's structures would put your tribe over its limits.",
    "InvitedPlayerFail": "Your structures would put that tribe over its limits.",
    "ShowLimitMsg": "{}: {}/{}\n",
    "TotalLimitMsg": "Total: {}/{}",
    "Sender": "Cairnward",
    "ShowLimitsType": "Chat",
    "NotificationColor": { "Red": 1.0, "Green": 0.75, "Blue": 0.0 },
    "ShowLimitsScale": 1.0,
    "ShowLimitsDisplayTime": 15.0
  }
})";

FuzzServer::FuzzServer() {
  standin::ClearViolations();
  std::filesystem::create_directories(ConfigFile().parent_path());
  // The host's log file would otherwise grow with every input.
  std::error_code ignored;
  std::filesystem::remove_all(Root() / "AtlasApi" / "Logs", ignored);
  blocks_before_ = standin::Memory().live_blocks;
  server_ = std::make_unique<standin::Server>(Root());
}

FuzzServer::~FuzzServer() {
  if (attached_) {
    Detach();
  }
  // What the plug-in keeps between loads holds game strings of its own.
  ClearAccounting();
  server_.reset();
  if (!standin::Violations().empty()) {
    Fail("host violation: " + standin::Violations().front());
  }
  if (standin::Memory().live_blocks != blocks_before_) {
    Fail("FMemory blocks leaked: " +
         std::to_string(standin::Memory().live_blocks - blocks_before_));
  }
}

void FuzzServer::WriteConfig(std::string_view text) const {
  std::ofstream(ConfigFile(), std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
}

void FuzzServer::RemoveConfig() const {
  std::error_code ignored;
  std::filesystem::remove(ConfigFile(), ignored);
}

bool FuzzServer::Attach() {
  if (attached_) {
    Fail("attached twice");
  }
  attached_ = PluginEntry(plugin_entry::kAttach);
  if (!attached_ && server_->Commands().Count() + server_->Hooks().Count() != 0) {
    Fail("a failed load left commands or hooks registered");
  }
  return attached_;
}

void FuzzServer::Detach() {
  PluginEntry(plugin_entry::kDetach);
  attached_ = false;
  if (server_->Commands().Count() + server_->Hooks().Count() != 0) {
    Fail("the unload left commands or hooks registered");
  }
}

void Console(standin::Server& server, standin::SimPlayerController* player,
             const std::u16string& line) {
  AsHost("a console command", [&] {
    server.Commands().DispatchConsole(standin::AsGame<APlayerController>(player), line);
  });
}

void Chat(standin::Server& server, standin::SimPlayerController* player,
          const std::u16string& line) {
  AsHost("a chat command", [&] {
    server.Commands().DispatchChat(standin::AsGame<AShooterPlayerController>(player), line,
                                   EChatSendMode::GlobalChat);
  });
}

void Rcon(standin::Server& server, const std::u16string& line, std::int32_t id) {
  RCONPacket packet;
  packet.Id = id;
  packet.Type = 2;
  packet.Body = FString(line);
  auto* connection = standin::AsGame<RCONClientConnection>(server.GetWorld().MakeRconConnection());
  AsHost("an RCON command", [&] {
    server.Commands().DispatchRcon(connection, &packet,
                                   standin::AsGame<UWorld>(server.GetWorld().GameWorld()));
  });
}

}  // namespace cairnward::fuzz

// Every plug-in target starts the same way; libFuzzer calls this once.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  cairnward::fuzz::SilenceStandardOutput();
  return 0;
}
