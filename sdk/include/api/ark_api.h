#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/export.h"
#include "api/fstring.h"
#include "api/game_types.h"
#include "api/rcon_packet.h"

namespace spdlog::sinks {
class sink;
}  // namespace spdlog::sinks

namespace ArkApi {

// Replacing game functions. The host fills `original` with the function that a
// call of the replacement passes on to, before the replacement is first called.
class IHooks {
 public:
  virtual ~IHooks() = default;

  virtual bool SetHookInternal(const std::string& func_name, void* detour, void** original) = 0;
  virtual bool DisableHook(const std::string& func_name, void* detour) = 0;

  template <typename Fn>
  bool SetHook(const std::string& func_name, Fn* detour, Fn** original) {
    return SetHookInternal(func_name, reinterpret_cast<void*>(detour),
                           reinterpret_cast<void**>(original));
  }

  template <typename Fn>
  bool DisableHook(const std::string& func_name, Fn* detour) {
    return DisableHook(func_name, reinterpret_cast<void*>(detour));
  }
};

using ChatCommandFn = std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type)>;
using ConsoleCommandFn = std::function<void(APlayerController*, FString*, bool)>;
using RconCommandFn = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;

// Chat, console and RCON commands, each kind with its own names.
class ICommands {
 public:
  virtual ~ICommands() = default;

  virtual void AddChatCommand(const FString& command, const ChatCommandFn& callback) = 0;
  virtual void AddConsoleCommand(const FString& command, const ConsoleCommandFn& callback) = 0;
  virtual void AddRconCommand(const FString& command, const RconCommandFn& callback) = 0;

  virtual bool RemoveChatCommand(const FString& command) = 0;
  virtual bool RemoveConsoleCommand(const FString& command) = 0;
  virtual bool RemoveRconCommand(const FString& command) = 0;
};

// What the server reports about itself and its players.
class IApiUtils {
 public:
  virtual ~IApiUtils() = default;

  [[nodiscard]] virtual UWorld* GetWorld() const = 0;
  // 1 once the server has loaded its world.
  [[nodiscard]] virtual int GetStatus() const = 0;
  // Accepts a null controller (answer 0).
  [[nodiscard]] virtual std::uint64_t GetSteamIdFromController(AController* controller) const = 0;
  // True when the player is dead or has no character.
  [[nodiscard]] virtual bool IsPlayerDead(AShooterPlayerController* player) const = 0;
  // The connected player of that name (exact case), or null.
  [[nodiscard]] virtual AShooterPlayerController* FindPlayerFromName(const FString& name) const = 0;
};

CAIRN_HOST_API IHooks& GetHooks();
CAIRN_HOST_API ICommands& GetCommands();
CAIRN_HOST_API IApiUtils& GetApiUtils();

namespace Tools {
// The server folder: "/AtlasApi/Plugins" lies below it.
CAIRN_HOST_API std::string GetCurrentDir();
// UTF-8 to 16-bit units and back; malformed input becomes U+FFFD.
CAIRN_HOST_API std::u16string Utf8Decode(const std::string& text);
CAIRN_HOST_API std::string Utf8Encode(const std::u16string& text);
}  // namespace Tools

}  // namespace ArkApi

// The host's log sinks, shared with every plug-in logger created over them.
CAIRN_HOST_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();

namespace Permissions {
CAIRN_HOST_API bool IsPlayerHasPermission(std::uint64_t steam_id, const FString& group);
}  // namespace Permissions
