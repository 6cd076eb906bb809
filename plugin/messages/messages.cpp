#include "messages/messages.h"

#include "config/config.h"
#include "host/text.h"

namespace cairnward {

FString LookupMessage(std::string_view key) {
  const Json& messages = Required(PluginConfig(), "Messages");
  return FStringUpToNul(FromUtf8(ValueOr(messages, key, "No message")));
}

}  // namespace cairnward
