#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "harness/plugin_harness.h"
#include "standin/game_actions.h"
#include "standin/server.h"

namespace cairnward::fuzz {

// Stops the process with a reason; libFuzzer keeps the input that got here.
[[noreturn]] void Fail(std::string_view what);

// Trace lines go nowhere: an input that turns "Debug" on would drown the
// fuzzer's own report.
void SilenceStandardOutput();

// A complete, valid configuration for the small world: the baseline with
// tighter limits, the odd blueprint limited, admins ignored, limits shown in
// chat.
std::string FuzzConfig();

// Object paths of the small world's blueprints.
using harness::kCeiling;
using harness::kFoundation;
using harness::kWall;
inline constexpr const char* kC4 = "/Game/Structures/C4Charge.C4Charge";
inline constexpr const char* kBraces = "/Game/Odd/Brace{}.Brace{}";
inline constexpr const char* kUmlaut = "/Game/Strukturen/T\xC3\xBCr.T\xC3\xBCr";
inline constexpr const char* kBlueprints[] = {kWall, kFoundation, kCeiling, kC4, kBraces, kUmlaut};

// A fresh stand-in server for one input, in a folder that the process keeps,
// with the plug-in linked in and attached through its entry routine as the
// host does it. At the end the input fails when the host saw a violation
// (anything left registered is one), or when an FMemory block is still live.
class FuzzServer {
 public:
  FuzzServer();
  ~FuzzServer();
  FuzzServer(const FuzzServer&) = delete;
  FuzzServer& operator=(const FuzzServer&) = delete;

  standin::Server& server() { return harness_.Server(); }
  standin::World& world() { return harness_.World(); }

  void WriteConfig(std::string_view text) { harness_.WriteConfigText(text); }
  void RemoveConfig() { harness_.RemoveConfig(); }

  bool Attach();
  void Detach() { server().UnloadPlugin(); }
  [[nodiscard]] bool Attached() { return server().PluginLoaded(); }

 private:
  harness::PluginHarness harness_;
};

// Runs what the host or the game does; anything thrown out of it came from the
// plug-in, which must contain every failure.
template <typename Act>
void AsHost(std::string_view what, Act&& act) {
  try {
    act();
  } catch (const std::exception& e) {
    Fail(std::string(what) + " let an exception reach the host: " + e.what());
  } catch (...) {
    Fail(std::string(what) + " let an unknown exception reach the host");
  }
}

// A player's console line, chat line or RCON request through the host's
// dispatch; the replies to the request.
void Console(standin::Server& server, standin::SimPlayerController* player,
             const std::u16string& line);
void Chat(standin::Server& server, standin::SimPlayerController* player,
          const std::u16string& line);
std::vector<standin::RconReply> Rcon(standin::Server& server, const std::u16string& line,
                                     std::int32_t id);

}  // namespace cairnward::fuzz
