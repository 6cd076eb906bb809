#include <functional>
#include <new>
#include <optional>
#include <tuple>

#include <fmt/format.h>

#include "api/game_members.h"
#include "messages/push.h"
#include "standin/memory.h"
#include "standin/registry.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using standin::Delivery;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::ThrowsMessage;

class Messages : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    ann_ = AddPlayer("Ann", 76561198000000001, 1001);
  }
  void SetMessage(const std::string& key, const std::string& text) {
    Config()["Messages"][key] = text;
    Configure();
  }
  AShooterPlayerController* Ann() { return AsPlayer(ann_); }
  std::vector<std::u16string> TextsOfAnn() {
    std::vector<std::u16string> texts;
    for (const auto& delivery : Received(ann_)) {
      texts.push_back(delivery.text);
    }
    return texts;
  }

  standin::SimPlayerController* ann_ = nullptr;
};

TEST_F(Messages, LookupDecodesTheTextOrGivesNoMessage) {
  SetMessage("ReachLimit", "Mauer \xE2\x80\x94 \xC3\xA4");
  EXPECT_EQ(LookupMessage("ReachLimit").View(), u"Mauer \u2014 \u00e4");
  EXPECT_EQ(LookupMessage("NoSuchKey").View(), u"No message");
  Config()["Messages"]["ReachLimit"] = 5;
  Configure();
  EXPECT_THAT([] { (void)LookupMessage("ReachLimit"); },
              ThrowsMessage<Json::type_error>(HasSubstr("type must be string")));
}

TEST_F(Messages, KeyedNotificationIsRedWithTheGeneralScaleAndTime) {
  NotifyByKey("ReachLimit", Ann());
  const auto received = Received(ann_);
  ASSERT_EQ(received.size(), 1U);
  const Delivery& shown = received[0];
  EXPECT_EQ(shown.form, Delivery::Form::kNotification);
  EXPECT_EQ(shown.text, u"You have reached the limit for this structure");
  EXPECT_EQ((std::vector{shown.color.R, shown.color.G, shown.color.B, shown.color.A}),
            (std::vector{1.0F, 0.0F, 0.0F, 1.0F}));
  EXPECT_EQ(shown.scale, 1.5F);
  EXPECT_EQ(shown.time, 5.0F);
}

TEST_F(Messages, KeyedTextIsFormattedExactlyOnceWithoutArguments) {
  SetMessage("ReachLimit", "{{limit}} reached {{{{twice}}}}");
  NotifyByKey("ReachLimit", Ann());
  SetMessage("ReachLimit", "limit {} reached");
  const std::size_t live = standin::Memory().live_blocks;
  EXPECT_THROW(NotifyByKey("ReachLimit", Ann()), fmt::format_error);
  EXPECT_EQ(standin::Memory().live_blocks, live) << "the looked-up text is released";
  NotifyByKey("ReachLimit", nullptr);
  EXPECT_EQ(TextsOfAnn(), std::vector<std::u16string>{u"{limit} reached {{twice}}"});
}

TEST_F(Messages, KeyedNotificationSettingsAreRequiredNumbers) {
  Config()["General"].erase("NotificationScale");
  Configure();
  EXPECT_THAT([&] { NotifyByKey("ReachLimit", Ann()); },
              ThrowsMessage<Json::type_error>(HasSubstr("must be number, but is null")));
  Config()["General"]["NotificationScale"] = true;
  Config()["General"]["NotificationDisplayTime"] = 2;
  Configure();
  NotifyByKey("ReachLimit", Ann());
  ASSERT_EQ(Received(ann_).size(), 1U);
  EXPECT_EQ(Received(ann_)[0].scale, 1.0F);
  EXPECT_EQ(Received(ann_)[0].time, 2.0F);
}

TEST_F(Messages, TemplatesAreFormattedOnceAndPlainTextNever) {
  const std::u16string_view name = u"W\u00e4ll {x}";
  PushNotification(Ann(), kGreen, 1.0F, 2.0F, u"{}: {}/{}", name, 2, 3);
  PushChatMessage(Ann(), FString(u"Cairnward"), u"{1} of {0}", 3, 2);
  PushServerMessage(Ann(), kRed, "{} \xC3\xA4 {{}}", 7);
  PushNotificationText(Ann(), kRed, 1.0F, 1.0F, u"{} {{ } \u00e4");
  PushChatMessageText(Ann(), FString(u"{Sender}"), u"{0}}");
  PushServerMessageText(Ann(), kGreen, "Reloaded {} \xE2\x82\xAC");
  PushNotificationText(Ann(), kRed, 1.0F, 1.0F, std::u16string_view(u"seen\0unseen", 11));
  PushChatMessageText(Ann(), FString(), u"");
  // Server messages are ASCII: one "?" per byte of a non-ASCII character.
  EXPECT_EQ(TextsOfAnn(), (std::vector<std::u16string>{u"W\u00e4ll {x}: 2/3", u"2 of 3", u"7 ?? {}",
                                                       u"{} {{ } \u00e4", u"{0}}",
                                                       u"Reloaded {} ???", u"seen", u""}));
  EXPECT_EQ(Received(ann_)[1].sender, u"Cairnward");
  EXPECT_EQ(Received(ann_)[4].sender, u"{Sender}");
}

TEST_F(Messages, NobodyIsSentAnythingAndBrokenTemplatesSendNothing) {
  PushNotification(nullptr, kRed, 1.0F, 1.0F, u"{}");
  PushChatMessageText(nullptr, FString(u"S"), u"x");
  PushServerMessage(nullptr, kRed, "}");
  EXPECT_THROW(PushNotification(Ann(), kRed, 1.0F, 1.0F, u"{} and {}", 1), fmt::format_error);
  EXPECT_THROW(PushChatMessage(Ann(), FString(u"S"), u"{"), fmt::format_error);
  EXPECT_THROW(PushServerMessage(Ann(), kRed, "}"), fmt::format_error);
  EXPECT_THAT(server().Deliveries(), IsEmpty());
}

TEST_F(Messages, NoTemplateMakesATextPastTheBoundWhateverWidthItAsksFor) {
  EXPECT_EQ(FormatWide(u"{:>65536}", 1).size(), kMaxFormattedLength);
  EXPECT_THROW(FormatWide(u"{:>65537}", 1), std::length_error);
  // Refused long before gigabytes are asked for.
  EXPECT_THROW(PushNotification(Ann(), kRed, 1.0F, 1.0F, u"{:>999999999}", 7), std::length_error);
  EXPECT_THROW(PushChatMessage(Ann(), FString(u"S"), u"{:>{}}", 1, 2000000000), std::length_error);
  EXPECT_THAT(server().Deliveries(), IsEmpty());
}

// The game's chat function, as this test replaces it: the record's fields
// other than sender and message, as it saw them (the four other texts by
// their total count).
using ChatExtras = std::tuple<std::int32_t, std::uint32_t, std::int32_t, double, std::uint8_t,
                              std::uint32_t, std::uint8_t, void*>;

std::optional<ChatExtras>& SeenChatExtras() {
  static std::optional<ChatExtras> extras;
  return extras;
}

void RecordChat(AShooterPlayerController* /*player*/, FChatMessage m) {
  SeenChatExtras() = ChatExtras{
      m.SenderSteamName.Num() + m.SenderTribeName.Num() + m.Receiver.Num() + m.UserId.Num(),
      m.SenderId,
      m.SenderTeamIndex,
      m.ReceivedTime,
      m.SendMode,
      m.RadioFrequency,
      m.ChatType,
      m.SenderIcon};
}

TEST_F(Messages, ChatRecordCarriesNothingButSenderAndMessage) {
  void* game_chat = standin::FunctionAddress(game::kClientChatMessage.name);
  standin::RegisterFunction(game::kClientChatMessage, &RecordChat);
  SeenChatExtras().reset();
  PushChatMessageText(Ann(), FString(u"Cairnward"), u"Wall: 1/3");
  standin::RegisterFunctionAddress(game::kClientChatMessage.name, game_chat);
  EXPECT_EQ(SeenChatExtras(), (ChatExtras{0, 0U, 0, -1.0, 0, 0U, 0, nullptr}));
}

// Fails the first, then the second, ... allocation until `act` goes through;
// after each failure no block may be left and nothing delivered.
void FailEachAllocationInTurn(standin::Server& server, const std::function<void()>& act) {
  for (std::uint64_t skip = 0;; ++skip) {
    const std::size_t live_before = standin::Memory().live_blocks;
    const std::size_t delivered_before = server.Deliveries().size();
    standin::FailAllocations(skip, 1);
    try {
      act();
      standin::FailAllocations(0, 0);
      EXPECT_GT(skip, 0U) << "no allocation was failed";
      return;
    } catch (const std::bad_alloc&) {
      EXPECT_EQ(standin::Memory().live_blocks, live_before) << "allocation " << skip << " failed";
      EXPECT_EQ(server.Deliveries().size(), delivered_before);
    }
  }
}

TEST_F(Messages, EveryPushReleasesItsBlocksWhicheverAllocationFails) {
  const FString sender(u"Cairnward");
  FailEachAllocationInTurn(server(), [&] { PushChatMessage(Ann(), sender, u"{}", 1); });
  FailEachAllocationInTurn(server(), [&] { PushNotification(Ann(), kRed, 1.0F, 1.0F, u"x"); });
  FailEachAllocationInTurn(server(), [&] { PushServerMessage(Ann(), kRed, "{}", 1); });
  FailEachAllocationInTurn(server(), [&] { NotifyByKey("ReachLimit", Ann()); });
  EXPECT_EQ(Received(ann_).size(), 4U);
}

}  // namespace
}  // namespace cairnward::testing
