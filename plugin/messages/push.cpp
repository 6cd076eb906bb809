#include "messages/push.h"

#include "api/game_members.h"
#include "host/game.h"
#include "host/text.h"

namespace cairnward {

bool CutAtCap(std::u16string& body, std::size_t cap) {
  if (body.size() <= cap) {
    return false;
  }
  body.resize(cap - 1);
  if (body.back() >= 0xD800 && body.back() <= 0xDBFF) {
    body.pop_back();
  }
  body += u'\u2026';
  return true;
}

void PushNotificationText(AShooterPlayerController* player, FLinearColor color, float scale,
                          float display_time, std::u16string_view text) {
  if (player == nullptr) {
    return;
  }
  FString body = FStringUpToNul(text);
  CallGame<game::kClientNotification>(player, &body, color, scale, display_time, nullptr, nullptr);
}

void PushChatMessageText(AShooterPlayerController* player, const FString& sender,
                         std::u16string_view text) {
  if (player == nullptr) {
    return;
  }
  // Every field set on purpose: the game reads the whole record, and only the
  // sender name and the message come from us.
  FChatMessage record;
  record.SenderName = sender;
  record.SenderSteamName = FString();
  record.SenderTribeName = FString();
  record.SenderId = 0;
  record.Message = FStringUpToNul(text);
  record.Receiver = FString();
  record.SenderTeamIndex = 0;
  record.ReceivedTime = -1.0;
  record.SendMode = 0;
  record.RadioFrequency = 0;
  record.ChatType = 0;
  record.SenderIcon = nullptr;
  record.UserId = FString();
  CallGame<game::kClientChatMessage>(player, record);
}

void PushServerMessageText(AShooterPlayerController* player, FLinearColor color,
                           std::string_view text) {
  if (player == nullptr) {
    return;
  }
  FString body = AsciiFString(text);
  CallGame<game::kClientServerMessage>(player, &body, color, false);
}

}  // namespace cairnward
