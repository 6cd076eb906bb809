#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "standin/game_actions.h"
#include "standin/server.h"

namespace cairnward::fuzz {

// Stops the process with a reason; libFuzzer keeps the input that got here.
[[noreturn]] void Fail(std::string_view what);

// Trace lines go nowhere: an input that turns "Debug" on would drown the
// fuzzer's own report.
void SilenceStandardOutput();

// A complete, valid configuration: the limits and texts an administrator would
// start from.
extern const std::string_view kBaselineConfig;

// Object paths of the small world's blueprints.
inline constexpr const char* kWall = "/Game/Structures/Wall.Wall";
inline constexpr const char* kFoundation = "/Game/Structures/Foundation.Foundation";
inline constexpr const char* kCeiling = "/Game/Structures/Ceiling.Ceiling";
inline constexpr const char* kC4 = "/Game/Structures/C4Charge.C4Charge";
inline constexpr const char* kBraces = "/Game/Odd/Brace{}.Brace{}";
inline constexpr const char* kUmlaut = "/Game/Strukturen/T\xC3\xBCr.T\xC3\xBCr";
inline constexpr const char* kBlueprints[] = {kWall, kFoundation, kCeiling, kC4, kBraces, kUmlaut};

// A fresh stand-in server for one input, in a folder that the process keeps,
// with the plug-in attached and detached through its entry routine as the
// host does it. At the end the input fails when the host saw a violation, when
// anything is still registered, or when an FMemory block is still live.
class FuzzServer {
 public:
  FuzzServer();
  ~FuzzServer();
  FuzzServer(const FuzzServer&) = delete;
  FuzzServer& operator=(const FuzzServer&) = delete;

  standin::Server& server() { return *server_; }
  standin::World& world() { return server_->GetWorld(); }

  void WriteConfig(std::string_view text) const;
  void RemoveConfig() const;

  // The library's attach notification; a failed one must leave nothing registered.
  bool Attach();
  void Detach();
  [[nodiscard]] bool Attached() const { return attached_; }

 private:
  std::size_t blocks_before_ = 0;
  std::unique_ptr<standin::Server> server_;
  bool attached_ = false;
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

// A player's console line, chat line or RCON request through the host's dispatch.
void Console(standin::Server& server, standin::SimPlayerController* player,
             const std::u16string& line);
void Chat(standin::Server& server, standin::SimPlayerController* player,
          const std::u16string& line);
void Rcon(standin::Server& server, const std::u16string& line, std::int32_t id);

}  // namespace cairnward::fuzz
