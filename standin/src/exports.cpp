// The host's exported interface, answered by the running stand-in server.
#include "api/ark_api.h"
#include "standin/server.h"
#include "standin/utf8.h"

namespace ArkApi {

IHooks& GetHooks() {
  return standin::Server::Current().Hooks();
}
ICommands& GetCommands() {
  return standin::Server::Current().Commands();
}
IApiUtils& GetApiUtils() {
  return standin::Server::Current().ApiUtils();
}

namespace Tools {
std::string GetCurrentDir() {
  return standin::Server::Current().Root().string();
}
std::u16string Utf8Decode(const std::string& text) {
  return standin::Utf8ToUtf16(text);
}
std::string Utf8Encode(const std::u16string& text) {
  return standin::Utf16ToUtf8(text);
}
}  // namespace Tools

}  // namespace ArkApi

std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks() {
  return standin::Server::Current().Sinks();
}

namespace Permissions {
bool IsPlayerHasPermission(std::uint64_t steam_id, const FString& group) {
  return standin::Server::Current().InGroup(steam_id, std::u16string(group.View()));
}
}  // namespace Permissions
