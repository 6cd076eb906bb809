// The readable and the JSON form of what the host reports.
#include <algorithm>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "captured_text.h"
#include "events.h"

namespace devserver {
namespace {

using nlohmann::json;

class EventsTest : public ::testing::Test {
 protected:
  EventsTest() : out_(text_.File(), &json_) {}

  std::string Text() { return text_.Read(); }

  // The only JSON line written; its members in the order written.
  std::string OnlyJsonLine() {
    const std::string all = json_.str();
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << all;
    return all.substr(0, all.find('\n'));
  }

  CapturedText text_;
  std::ostringstream json_;
  EventOutput out_;
};

standin::Delivery Delivered(standin::Delivery::Form form, std::u16string text) {
  standin::Delivery delivery;
  delivery.form = form;
  delivery.player = "Alice";
  delivery.text = std::move(text);
  delivery.sender = u"Cairnward";
  delivery.color = FLinearColor{1.0F, 0.3F, 0.0F, 1.0F};
  delivery.scale = 1.3F;
  delivery.time = 10.0F;
  return delivery;
}

TEST_F(EventsTest, NotificationCarriesColourScaleAndTimeAsWritten) {
  out_.Delivery(Delivered(standin::Delivery::Form::kNotification, u"Wall: 3/5\nTotal: 3/150\n"));
  EXPECT_EQ(OnlyJsonLine(),
            R"({"event":"notification","player":"Alice","text":"Wall: 3/5\nTotal: 3/150\n",)"
            R"("color":[1.0,0.3,0.0,1.0],"scale":1.3,"time":10.0})");
  EXPECT_EQ(Text(),
            "  >> [notification to Alice] Wall: 3/5\n"
            "     Total: 3/150  (scale 1.3, 10 s)\n");
}

TEST_F(EventsTest, ChatHasSenderAndNoColour) {
  out_.Delivery(Delivered(standin::Delivery::Form::kChat, u"Gr\u00fc\u00dfe"));
  EXPECT_EQ(OnlyJsonLine(),
            R"({"event":"chat","player":"Alice","sender":"Cairnward","text":"Grüße"})");
  EXPECT_EQ(Text(), "  >> [chat to Alice] Cairnward: Grüße\n");
}

TEST_F(EventsTest, ServerMessageHasColour) {
  out_.Delivery(Delivered(standin::Delivery::Form::kServerMessage, u"Limit reached"));
  EXPECT_EQ(OnlyJsonLine(), R"({"event":"server_message","player":"Alice","text":"Limit reached",)"
                            R"("color":[1.0,0.3,0.0,1.0]})");
  EXPECT_EQ(Text(), "  >> [server message to Alice] Limit reached\n");
}

// A reply may repeat what a network client sent: line breaks stay continuation
// lines, every other control character is shown escaped, other text as it is.
TEST_F(EventsTest, PrintedRepliesShowControlCharactersEscaped) {
  out_.RconReply({3, 0, u"Unknown: a\x1b[2J\rb\x7f\u009b\t\u00e9\r\n2026 [Cairnward][info] x\r\n"});
  EXPECT_EQ(Text(),
            "  >> [rcon reply, id 3] Unknown: a\\x1b[2J\\rb\\x7f\\u009b\\t\u00e9\n"
            "     2026 [Cairnward][info] x\n");
}

TEST_F(EventsTest, LogLinesBecomeJsonOnlyAndSurviveBadBytes) {
  out_.Log({spdlog::level::warn, "Cairnward-Alpha1", "bad \xff byte"});
  const json event = json::parse(OnlyJsonLine());
  EXPECT_EQ(event, (json{{"event", "log"},
                         {"level", "warning"},
                         {"logger", "Cairnward-Alpha1"},
                         {"text", "bad \xEF\xBF\xBD byte"}}));
  EXPECT_TRUE(Text().empty()) << "the host's console sink prints log lines itself";
}

TEST_F(EventsTest, WithoutJsonOnlyReadableLines) {
  CapturedText text;
  EventOutput plain(text.File(), nullptr);
  plain.Error("unknown command \"x\" (line 1)");
  plain.Spawned({4, 5}, "Wall_C", 7);
  plain.Plugin("loaded");
  EXPECT_EQ(text.Read(),
            "error: unknown command \"x\" (line 1)\n"
            "spawned 2 x Wall_C (team 7): ids 4, 5\n");
}

}  // namespace
}  // namespace devserver
