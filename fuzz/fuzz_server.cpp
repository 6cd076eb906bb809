#include "fuzz_server.h"

#include <cstdio>
#include <cstdlib>

#include "accounting/ledger.h"
#include "api/export.h"
#include "api/plugin_entry.h"
#include "standin/blueprint_path.h"

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

std::string FuzzConfig() {
  nlohmann::json config = harness::BaselineConfig();
  config["General"]["IgnoreAdmin"] = true;
  config["General"]["MaxAmount"] = 12;
  config["Structures"][standin::BlueprintPath(kFoundation)]["Count"] = 5;
  config["Structures"][standin::BlueprintPath(kBraces)] = {{"Count", 2}, {"Name", "Brace {}"}};
  config["Messages"]["ShowLimitsType"] = "Chat";
  return config.dump(2);
}

FuzzServer::FuzzServer()
    : harness_({.root = Root(), .forget_plugin_state = [] { ClearAccounting(); }}) {}

FuzzServer::~FuzzServer() {
  const auto problems = harness_.Finish();
  if (!problems.empty()) {
    Fail(problems.front());
  }
}

bool FuzzServer::Attach() {
  if (Attached()) {
    Fail("attached twice");
  }
  return harness_.LoadLinked(&PluginEntry);
}

void Console(standin::Server& server, standin::SimPlayerController* player,
             const std::u16string& line) {
  AsHost("a console command", [&] { server.Console(player, line); });
}

void Chat(standin::Server& server, standin::SimPlayerController* player,
          const std::u16string& line) {
  AsHost("a chat command", [&] { server.Chat(player, line); });
}

std::vector<standin::RconReply> Rcon(standin::Server& server, const std::u16string& line,
                                     std::int32_t id) {
  std::vector<standin::RconReply> replies;
  AsHost("an RCON command", [&] { replies = server.Rcon(line, id); });
  return replies;
}

}  // namespace cairnward::fuzz

// Every plug-in target starts the same way; libFuzzer calls this once.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  cairnward::fuzz::SilenceStandardOutput();
  return 0;
}
