#include <functional>
#include <new>
#include <optional>

#include <fmt/format.h>

#include "accounting/direct_story.h"
#include "api/game_members.h"
#include "messages/messages.h"
#include "messages/push.h"
#include "standin/memory.h"
#include "standin/registry.h"

namespace cairnward::testing {
namespace {

using standin::Delivery;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Runs `act` with the first, then the second, ... allocation failing until it
// goes through; after each failure no FMemory block may be left over and
// nothing may have been delivered. Answers how many allocations it failed.
int FailEachAllocationInTurn(standin::Server& server, const std::function<void()>& act) {
  for (int skip = 0; skip < 64; ++skip) {
    const std::size_t live_before = standin::Memory().live_blocks;
    const std::size_t delivered_before = server.Deliveries().size();
    standin::FailAllocations(static_cast<std::uint64_t>(skip), 1);
    try {
      act();
      standin::FailAllocations(0, 0);
      return skip;
    } catch (const std::bad_alloc&) {
      EXPECT_EQ(standin::Memory().live_blocks, live_before) << "allocation " << skip << " failed";
      EXPECT_EQ(server.Deliveries().size(), delivered_before);
    }
  }
  ADD_FAILURE() << "never went through";
  return -1;
}

class Messages : public DirectStory {
 protected:
  void SetMessage(const std::string& key, const std::string& text) {
    Config()["Messages"][key] = text;
    Configure();
  }
};

// ---- LookupMessage ----------------------------------------------------------

TEST_F(Messages, LookupGivesTheTextDecodedOrNoMessage) {
  SetMessage("ReachLimit", "Grenze erreicht: Mauer \xE2\x80\x94 \xC3\xA4");
  EXPECT_EQ(LookupMessage("ReachLimit").View(), u"Grenze erreicht: Mauer \u2014 \u00e4");
  EXPECT_EQ(LookupMessage("NoSuchKey").View(), u"No message");
  SetMessage("ReachLimit", "");
  EXPECT_EQ(LookupMessage("ReachLimit").Num(), 0);
}

TEST_F(Messages, LookupFailsWithTheLibraryErrorsForBadShapes) {
  Config()["Messages"]["ReachLimit"] = 5;
  Configure();
  EXPECT_THAT([] { (void)LookupMessage("ReachLimit"); },
              ::testing::ThrowsMessage<Json::type_error>(HasSubstr("type must be string")));
  Config()["Messages"] = Json::array();
  Configure();
  EXPECT_THAT(
      [] { (void)LookupMessage("ReachLimit"); },
      ::testing::ThrowsMessage<Json::type_error>(HasSubstr("cannot use value() with array")));
}

// ---- NotifyByKey ------------------------------------------------------------

TEST_F(Messages, KeyedNotificationIsRedWithTheGeneralScaleAndTime) {
  auto* ann = AddPlayer("Ann", 76561198000000001, 1001);
  NotifyByKey("ReachLimit", AsPlayer(ann));
  const auto received = Received(ann);
  ASSERT_EQ(received.size(), 1U);
  EXPECT_EQ(received[0].form, Delivery::Form::kNotification);
  EXPECT_EQ(received[0].text, u"You have reached the limit for this structure");
  EXPECT_EQ(received[0].color.R, 1.0F);
  EXPECT_EQ(received[0].color.G, 0.0F);
  EXPECT_EQ(received[0].color.B, 0.0F);
  EXPECT_EQ(received[0].color.A, 1.0F);
  EXPECT_EQ(received[0].scale, 1.5F);
  EXPECT_EQ(received[0].time, 5.0F);
}

TEST_F(Messages, KeyedTextIsFormattedExactlyOnceWithoutArguments) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  SetMessage("ReachLimit", "{{limit}} reached {{{{twice}}}}");
  NotifyByKey("ReachLimit", AsPlayer(ann));
  ASSERT_EQ(Received(ann).size(), 1U);
  EXPECT_EQ(Received(ann)[0].text, u"{limit} reached {{twice}}");

  SetMessage("ReachLimit", "limit {} reached");
  const std::size_t live = standin::Memory().live_blocks;
  EXPECT_THROW(NotifyByKey("ReachLimit", AsPlayer(ann)), fmt::format_error);
  EXPECT_EQ(standin::Memory().live_blocks, live);
  EXPECT_EQ(Received(ann).size(), 1U);
}

TEST_F(Messages, KeyedNotificationToNobodySendsNothing) {
  SetMessage("ReachLimit", "{}");
  NotifyByKey("ReachLimit", nullptr);
  EXPECT_THAT(server().Deliveries(), IsEmpty());
}

TEST_F(Messages, KeyedNotificationSettingsAreRequiredNumbers) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  Config()["General"].erase("NotificationScale");
  Configure();
  EXPECT_THAT([&] { NotifyByKey("ReachLimit", AsPlayer(ann)); },
              ::testing::ThrowsMessage<Json::type_error>(HasSubstr("must be number, but is null")));

  Config()["General"]["NotificationScale"] = true;
  Config()["General"]["NotificationDisplayTime"] = "long";
  Configure();
  EXPECT_THAT(
      [&] { NotifyByKey("ReachLimit", AsPlayer(ann)); },
      ::testing::ThrowsMessage<Json::type_error>(HasSubstr("must be number, but is string")));
  EXPECT_THAT(Received(ann), IsEmpty());

  Config()["General"]["NotificationDisplayTime"] = 2;
  Configure();
  NotifyByKey("ReachLimit", AsPlayer(ann));
  ASSERT_EQ(Received(ann).size(), 1U);
  EXPECT_EQ(Received(ann)[0].scale, 1.0F);
  EXPECT_EQ(Received(ann)[0].time, 2.0F);
}

TEST_F(Messages, MissingKeySendsNoMessage) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  Config()["Messages"].erase("ReachLimit");
  Configure();
  NotifyByKey("ReachLimit", AsPlayer(ann));
  ASSERT_EQ(Received(ann).size(), 1U);
  EXPECT_EQ(Received(ann)[0].text, u"No message");
}

// ---- The push routines --------------------------------------------------------

TEST_F(Messages, FormattedPushesFormatTheirTemplateOnceWithItsArguments) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  const std::u16string_view name = u"W\u00e4ll {x}";
  PushNotification(AsPlayer(ann), kGreen, 1.0F, 2.0F, u"{}: {}/{}", name, 2, 3);
  PushChatMessage(AsPlayer(ann), FString(u"Cairnward"), u"{1} of {0}", 3, 2);
  PushServerMessage(AsPlayer(ann), kRed, "{} \xC3\xA4 {{}}", 7);
  const auto received = Received(ann);
  ASSERT_EQ(received.size(), 3U);
  EXPECT_EQ(received[0].text, u"W\u00e4ll {x}: 2/3");
  EXPECT_EQ(received[0].color.G, 1.0F);
  EXPECT_EQ(received[1].form, Delivery::Form::kChat);
  EXPECT_EQ(received[1].text, u"2 of 3");
  EXPECT_EQ(received[1].sender, u"Cairnward");
  EXPECT_EQ(received[2].form, Delivery::Form::kServerMessage);
  EXPECT_EQ(received[2].text, u"7 ?? {}");
}

TEST_F(Messages, PlainTextGoesOutAsItIs) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  PushNotificationText(AsPlayer(ann), kRed, 1.0F, 1.0F, u"{} {{ } \u00e4");
  PushChatMessageText(AsPlayer(ann), FString(u"{Sender}"), u"{0}}");
  PushServerMessageText(AsPlayer(ann), kGreen, "Reloaded {} \xE2\x82\xAC");
  const auto received = Received(ann);
  ASSERT_EQ(received.size(), 3U);
  EXPECT_EQ(received[0].text, u"{} {{ } \u00e4");
  EXPECT_EQ(received[1].sender, u"{Sender}");
  EXPECT_EQ(received[1].text, u"{0}}");
  // Each byte of the three-byte euro sign becomes one "?".
  EXPECT_EQ(received[2].text, u"Reloaded {} ???");
}

TEST_F(Messages, TextEndsAtItsFirstNulAndEmptyTextIsSent) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  PushNotificationText(AsPlayer(ann), kRed, 1.0F, 1.0F, std::u16string_view(u"seen\0unseen", 11));
  PushChatMessageText(AsPlayer(ann), FString(), u"");
  const auto received = Received(ann);
  ASSERT_EQ(received.size(), 2U);
  EXPECT_EQ(received[0].text, u"seen");
  EXPECT_EQ(received[1].text, u"");
  EXPECT_EQ(received[1].sender, u"");
}

TEST_F(Messages, NobodyIsSentAnythingAndNoTemplateIsRead) {
  PushNotification(nullptr, kRed, 1.0F, 1.0F, u"{}");
  PushChatMessage(nullptr, FString(u"S"), u"{");
  PushServerMessage(nullptr, kRed, "}");
  PushNotificationText(nullptr, kRed, 1.0F, 1.0F, u"x");
  PushChatMessageText(nullptr, FString(u"S"), u"x");
  PushServerMessageText(nullptr, kRed, "x");
  EXPECT_THAT(server().Deliveries(), IsEmpty());
}

TEST_F(Messages, BrokenTemplatesFailInTheFormatterAndSendNothing) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  EXPECT_THROW(PushNotification(AsPlayer(ann), kRed, 1.0F, 1.0F, u"{} and {}", 1),
               fmt::format_error);
  EXPECT_THROW(PushChatMessage(AsPlayer(ann), FString(u"S"), u"{"), fmt::format_error);
  EXPECT_THROW(PushServerMessage(AsPlayer(ann), kRed, "}"), fmt::format_error);
  EXPECT_THAT(Received(ann), IsEmpty());
}

// What the game's chat function was handed, field by field.
struct SeenChatRecord {
  std::u16string sender, steam_name, tribe_name, message, receiver, user_id;
  std::uint32_t sender_id = 1;
  std::int32_t team_index = 1;
  double received_time = 0.0;
  std::uint8_t send_mode = 1;
  std::uint32_t radio_frequency = 1;
  std::uint8_t chat_type = 1;
  void* icon = &sender_id;
};

std::optional<SeenChatRecord>& LastChatRecord() {
  static std::optional<SeenChatRecord> record;
  return record;
}

void RecordChat(AShooterPlayerController* /*player*/, FChatMessage m) {
  LastChatRecord() = SeenChatRecord{std::u16string(m.SenderName.View()),
                                    std::u16string(m.SenderSteamName.View()),
                                    std::u16string(m.SenderTribeName.View()),
                                    std::u16string(m.Message.View()),
                                    std::u16string(m.Receiver.View()),
                                    std::u16string(m.UserId.View()),
                                    m.SenderId,
                                    m.SenderTeamIndex,
                                    m.ReceivedTime,
                                    m.SendMode,
                                    m.RadioFrequency,
                                    m.ChatType,
                                    m.SenderIcon};
}

TEST_F(Messages, ChatRecordCarriesOnlySenderAndMessage) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  void* game_chat = standin::FunctionAddress(game::kClientChatMessage.name);
  standin::RegisterFunction(game::kClientChatMessage, &RecordChat);
  LastChatRecord().reset();
  PushChatMessageText(AsPlayer(ann), FString(u"Cairnward"), u"Wall: 1/3");
  standin::RegisterFunctionAddress(game::kClientChatMessage.name, game_chat);

  ASSERT_TRUE(LastChatRecord().has_value());
  const SeenChatRecord& seen = *LastChatRecord();
  EXPECT_EQ(seen.sender, u"Cairnward");
  EXPECT_EQ(seen.message, u"Wall: 1/3");
  EXPECT_THAT((std::vector{seen.steam_name, seen.tribe_name, seen.receiver, seen.user_id}),
              ElementsAre(u"", u"", u"", u""));
  EXPECT_EQ(seen.sender_id, 0U);
  EXPECT_EQ(seen.team_index, 0);
  EXPECT_EQ(seen.received_time, -1.0);
  EXPECT_EQ(seen.send_mode, 0);
  EXPECT_EQ(seen.radio_frequency, 0U);
  EXPECT_EQ(seen.chat_type, 0);
  EXPECT_EQ(seen.icon, nullptr);
}

// ---- No block outlives a push, whichever allocation fails ----------------------

TEST_F(Messages, EveryPushReleasesItsBlocksWhenAnAllocationFails) {
  auto* ann = AddPlayer("Ann", 1, 1001);
  const FString sender(u"Cairnward");
  EXPECT_GE(FailEachAllocationInTurn(
                server(), [&] { PushChatMessage(AsPlayer(ann), sender, u"{} of {}", 1, 2); }),
            2);
  EXPECT_GE(FailEachAllocationInTurn(
                server(), [&] { PushNotification(AsPlayer(ann), kRed, 1.0F, 1.0F, u"{}", 1); }),
            1);
  EXPECT_GE(
      FailEachAllocationInTurn(server(), [&] { PushServerMessage(AsPlayer(ann), kRed, "{}", 1); }),
      1);
  EXPECT_GE(FailEachAllocationInTurn(server(), [&] { NotifyByKey("ReachLimit", AsPlayer(ann)); }),
            2);
  EXPECT_EQ(Received(ann).size(), 4U);
}

}  // namespace
}  // namespace cairnward::testing
