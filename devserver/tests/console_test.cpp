// Line splitting, argument reading and command dispatch of the console.
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "args.h"
#include "captured_text.h"
#include "console.h"
#include "events.h"
#include "game_loop.h"

namespace devserver {
namespace {

using Words = std::vector<std::string>;

TEST(SplitLine, BlanksSeparateQuotesJoinAndHashEndsTheLine) {
  EXPECT_EQ(SplitLine("  spawn\t/Game/A.A   team=1\r"), (Words{"spawn", "/Game/A.A", "team=1"}));
  EXPECT_EQ(SplitLine("player add \"Ann Lee #1\" team=2 # note"),
            (Words{"player", "add", "Ann Lee #1", "team=2"}));
  EXPECT_EQ(SplitLine(R"(say "a \"quoted\" word" x=\\)"),
            (Words{"say", R"(a "quoted" word)", R"(x=\\)"}));
  EXPECT_EQ(SplitLine("say \"\" end"), (Words{"say", "", "end"}));
  EXPECT_TRUE(SplitLine("# only a comment").empty());
  EXPECT_TRUE(SplitLine(" \t ").empty());
  EXPECT_THROW(SplitLine("say \"open"), UsageError);
}

TEST(Args, WordsInOrderKeysByNameFlagsByWord) {
  Args args({"Alice", "team=5", "admin", "steam=76561198000000001", "extra"});
  EXPECT_EQ(args.Word("NAME"), "Alice");
  EXPECT_EQ(args.Number<std::uint64_t>("steam"), 76561198000000001U);
  EXPECT_EQ(args.Number<std::int32_t>("team"), 5);
  EXPECT_TRUE(args.Flag("admin"));
  EXPECT_FALSE(args.Flag("admin")) << "a flag is taken once";
  EXPECT_EQ(args.NumberOr<std::int32_t>("count", 1), 1);
  EXPECT_THROW(args.Finish(), UsageError) << "\"extra\" was never taken";
  EXPECT_EQ(args.Word("more"), "extra");
  EXPECT_NO_THROW(args.Finish());
  EXPECT_THROW(args.Word("NAME"), UsageError);
}

TEST(Args, BadNumbersAndRepeatedKeysAreUsageErrors) {
  EXPECT_THROW(Args({"team=1", "team=2"}).Number<std::int32_t>("team"), UsageError);
  EXPECT_THROW(Args({"team=abc"}).Number<std::int32_t>("team"), UsageError);
  EXPECT_THROW(Args({"team=12x"}).Number<std::int32_t>("team"), UsageError);
  EXPECT_THROW(Args({"team="}).Number<std::int32_t>("team"), UsageError);
  EXPECT_THROW(Args({"team=2147483648"}).Number<std::int32_t>("team"), UsageError);
  EXPECT_EQ(Args({"team=-2147483648"}).Number<std::int32_t>("team"), -2147483647 - 1);
  EXPECT_THROW(Args({"steam=-1"}).Number<std::uint64_t>("steam"), UsageError);
  EXPECT_THROW(Args({}).Number<std::int32_t>("team"), UsageError);
  EXPECT_THROW(Args({"count=0"}).NumberOr<std::int32_t>("count", 1, 1, 10), UsageError);
  EXPECT_THROW(Args({"count=11"}).NumberOr<std::int32_t>("count", 1, 1, 10), UsageError);
  EXPECT_EQ(Args({"count=10"}).NumberOr<std::int32_t>("count", 1, 1, 10), 10);
  // A word that starts with '=' is no key=value.
  EXPECT_EQ(Args({"=x"}).Word("WORD"), "=x");
}

TEST(Args, RestIsTheFreeTextOfEverythingNotTaken) {
  Args args({"Alice", "/Limits", "tribe=all", "two  words", "x=1", "x=1"});
  EXPECT_EQ(args.Word("PLAYER"), "Alice");
  EXPECT_EQ(args.Rest(), "/Limits tribe=all two  words x=1 x=1")
      << "key=value words stay as written and a repeated key is no error in free text";
  EXPECT_NO_THROW(args.Finish());
  EXPECT_EQ(args.Rest(), "");
  EXPECT_THROW(args.RequiredRest("TEXT"), UsageError);
}

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() : out_(text_.File(), &json_), console_(out_) {}

  std::string Text() { return text_.Read(); }

  // Runs the inputs on a game loop, as the server does.
  void Serve(std::vector<ConsoleInput> inputs) {
    GameLoop loop;
    const ConsoleReader reader(loop, console_, std::move(inputs));
    loop.Run();
  }

  CapturedText text_;
  std::ostringstream json_;
  EventOutput out_;
  Console console_;
  std::vector<std::string> ran_;
};

TEST_F(ConsoleTest, TheLongestCommandNameWins) {
  console_.Add("tribe", "tribe X", [&](Args& args) { ran_.push_back("tribe " + args.Word("X")); });
  console_.Add("tribe create", "tribe create NAME",
               [&](Args& args) { ran_.push_back("create " + args.Word("NAME")); });
  console_.RunLine("tribe create Rovers", 1);
  console_.RunLine("tribe Rovers", 2);
  EXPECT_EQ(ran_, (Words{"create Rovers", "tribe Rovers"}));
  EXPECT_TRUE(json_.str().empty()) << json_.str();
}

TEST_F(ConsoleTest, FailuresEndTheirLineOnlyAndSayWhere) {
  console_.Add("plugin load", "plugin load", [&](Args& args) {
    args.Finish();
    ran_.push_back("load");
  });
  console_.Add("boom", "boom", [](Args&) { throw std::runtime_error("host refused"); });
  std::istringstream script(
      "plugin load now\n"
      "boom\n"
      "plugin\n"
      "plugin load\n");
  Serve({{&script, false}});

  EXPECT_EQ(ran_, Words{"load"});
  EXPECT_EQ(json_.str(),
            "{\"event\":\"error\",\"text\":\"plugin load: unexpected argument \\\"now\\\"; usage: "
            "plugin load (line 1)\"}\n"
            "{\"event\":\"error\",\"text\":\"boom: host refused (line 2)\"}\n"
            "{\"event\":\"error\",\"text\":\"unknown command \\\"plugin\\\"; \\\"plugin\\\" takes: "
            "load (line 3)\"}\n");
  EXPECT_NE(Text().find("error: boom: host refused (line 2)\n"), std::string::npos);
}

TEST_F(ConsoleTest, QuitStopsReadingAndEchoShowsEachCommand) {
  console_.Add("quit", "quit", [&](Args&) { console_.Quit(); });
  console_.Add("step", "step", [&](Args&) { ran_.push_back("step"); });
  std::istringstream script("  step   # first\n\nquit\nstep\n");
  Serve({{&script, true}});

  EXPECT_EQ(ran_, Words{"step"});
  EXPECT_EQ(Text(), "> step   # first\n> quit\n");
  std::string unread;
  std::getline(script, unread);
  EXPECT_EQ(unread, "step") << "nothing is read past a quit";
}

TEST_F(ConsoleTest, InputsFollowOneAnotherEachWithItsOwnLinesAndEcho) {
  console_.Add("step", "step", [&](Args&) { ran_.push_back("step"); });
  std::istringstream script("step\nbogus\n");
  std::istringstream typed("bogus\nstep\n");
  Serve({{&script, true}, {&typed, false}});

  EXPECT_EQ(ran_, (Words{"step", "step"}));
  EXPECT_EQ(Text(),
            "> step\n"
            "> bogus\n"
            "error: unknown command \"bogus\" (line 2)\n"
            "error: unknown command \"bogus\" (line 1)\n");
}

TEST_F(ConsoleTest, NarrationPrintsItsTextWithoutTheCommand) {
  console_.Add(
      "echo", "echo [TEXT]", [&](Args& args) { out_.Say(args.Rest()); }, Console::Echo::kHide);
  console_.Add("step", "step", [&](Args&) { ran_.push_back("step"); });
  std::istringstream script("echo \"== Part 1 ==\"  # heading\nstep\necho\necho the end\n");
  Serve({{&script, true}});

  EXPECT_EQ(Text(), "== Part 1 ==\n> step\n\nthe end\n");
}

}  // namespace
}  // namespace devserver
