// Console lines and the command line: errors, help, comments.
#include "devserver_run.h"

namespace devserver::testing {
namespace {

TEST_F(DevserverTest, UnknownCommandIsReportedAndTheServerGoesOn) {
  const Outcome run = Serve(ExampleRoot(),
                            "foo bar\n"
                            "plugin load\n"
                            "plugin frobnicate\n"
                            "plugin unload\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const auto errors = run.ErrorTexts();
  ASSERT_EQ(errors.size(), 2U) << run.out;
  EXPECT_EQ(errors[0], "unknown command \"foo\" (line 1)");
  EXPECT_NE(errors[1].find("\"plugin frobnicate\""), std::string::npos) << errors[1];
  EXPECT_NE(errors[1].find("load, unload"), std::string::npos) << errors[1];
  EXPECT_NE(errors[1].find("(line 3)"), std::string::npos) << errors[1];
  EXPECT_TRUE(HasLine(run.out, "error: unknown command \"foo\" (line 1)")) << run.out;
  EXPECT_EQ(run.PluginStates(), (std::vector<std::string>{"loaded", "unloaded"}));
}

TEST_F(DevserverTest, HelpListsTheUsageOfEveryCommandItDispatches) {
  const Outcome run = Serve(ExampleRoot(), "help\nhelp me\n");
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::string listed = "\n" + run.out.substr(run.out.find("> help\n") + 7);
  for (const char* usage : {"help", "plugin load", "quit", "rcon TEXT", "sleep MS",
                            "place PLAYER BLUEPRINT [game=allow|refuse]"}) {
    EXPECT_TRUE(HasLine(listed, usage)) << usage << " in\n" << listed;
  }
  // In the order of the names, as the table keeps them.
  EXPECT_LT(listed.find("\naim "), listed.find("\nchat "));
  EXPECT_LT(listed.find("\nspawn "), listed.find("\ntribe create "));
  EXPECT_EQ(run.ErrorTexts(),
            std::vector<std::string>{"help: unexpected argument \"me\"; usage: help (line 2)"});
}

TEST_F(DevserverTest, CommandLineRangeErrorsSayTheRangeInWords) {
  const auto error_of = [&](const std::string& options) {
    const Outcome run =
        RunCommand(Quoted(DEVSERVER_EXE) + " --root " + Quoted(dir_ / "server") + " " + options +
                       " < /dev/null > " + Quoted(dir_ / "out.txt") + " 2>&1",
                   dir_ / "none.jsonl");
    EXPECT_NE(run.exit_code, 0) << options;
    return run.out.substr(0, run.out.find('\n'));
  };
  EXPECT_EQ(error_of("--rcon-port 0 --rcon-password x --rcon-max-failures 0"),
            "--rcon-max-failures: 0 is out of range: a whole number from 1 to 2147483647");
  EXPECT_EQ(error_of("--rcon-port 70000 --rcon-password x"),
            "--rcon-port: 70000 is out of range: a whole number from 0 to 65535");
  EXPECT_EQ(error_of("--rcon-port 0 --rcon-password x --rcon-max-clients 1e3"),
            "--rcon-max-clients: \"1e3\" is not a whole number from 1 to 2147483647");
}

// Lines 15, 17, 19 and 20 are good; every other one is wrong in its own way.
const char* const kBadLines =
    "spawn /Game/Structures/Wall.Wall\n"
    "spawn /Game/Structures/Wall.Wall team=abc\n"
    "spawn /Game/Structures/Wall.Wall team=1 count=0\n"
    "spawn /Game/Structures/Wall.Wall team=1 colour=red\n"
    "spawn Wall team=1\n"
    "spawn /Game/Structures/Wall.Wall team=1 team=2\n"
    "spawn \"/Game/Structures/Wall.Wall team=1\n"
    "spawn /Game/Structures/Wall.Wall team=99999999999\n"
    "player add Carol team=1\n"
    "player add Carol steam=-5 team=1\n"
    "server status\n"
    "server status up\n"
    "plugin unload\n"
    "config use no-such-config.json\n"
    "player add Dave steam=7 team=3\n"
    "player add Dave steam=8 team=3\n"
    "spawn-other team=1\n"
    "spawn /Game/Creatures/Dodo.Dodo team=1\n"
    "spawn-other\n"
    "spawn Blueprint'/Game/Structures/Wall.Wall' team=7 count=2\n";

// Each error is one line and names the line it is about.
void ExpectErrorsAtLines(const std::vector<std::string>& errors, const std::vector<int>& lines) {
  ASSERT_EQ(errors.size(), lines.size());
  for (std::size_t i = 0; i < errors.size(); ++i) {
    const std::string suffix = "(line " + std::to_string(lines[i]) + ")";
    EXPECT_TRUE(errors[i].size() > suffix.size() &&
                errors[i].compare(errors[i].size() - suffix.size(), suffix.size(), suffix) == 0)
        << errors[i] << " should end with " << suffix;
    EXPECT_EQ(errors[i].find('\n'), std::string::npos) << errors[i];
  }
}

TEST_F(DevserverTest, EachBadLineIsOneErrorAndChangesNothing) {
  const Outcome run = Serve(ExampleRoot(), kBadLines);

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const auto errors = run.ErrorTexts();
  ExpectErrorsAtLines(errors, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 18});
  ASSERT_EQ(errors.size(), 16U) << run.out;
  // The argument errors say what is wrong and how the command is written.
  EXPECT_NE(errors[0].find("missing team=N"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("usage: spawn BLUEPRINT team=N [count=K]"), std::string::npos);
  EXPECT_NE(errors[3].find("unexpected argument \"colour=red\""), std::string::npos) << errors[3];

  // Only the good lines changed the world; a blueprint in use for a creature
  // does not become a structure.
  const auto spawned = run.OfKind("spawned");
  ASSERT_EQ(spawned.size(), 3U) << run.out;
  EXPECT_EQ(spawned[0].at("class"), "Dodo_C");
  EXPECT_EQ(spawned[1].at("class"), "Dodo_C");
  EXPECT_EQ(spawned[2].at("class"), "Wall_C");
  EXPECT_EQ(spawned[2].at("team"), 7);
  EXPECT_EQ(spawned[2].at("ids").size(), 2U);
  EXPECT_NE(run.out.find("player: Dave joined (steam 7, team 3)"), std::string::npos) << run.out;
}

TEST_F(DevserverTest, CommentsAndBlankLinesAreSkippedButCounted) {
  const Outcome run = Serve(ExampleRoot(),
                            "# a heading\n"
                            "\n"
                            "   \t \n"
                            "spawn /Game/Structures/Wall.Wall team=1 # count=5 is commented out\n"
                            "player add \"Ann #1\" steam=11 team=1\n"
                            "bogus\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(run.ErrorTexts(), std::vector<std::string>{"unknown command \"bogus\" (line 6)"});
  const auto spawned = run.OfKind("spawned");
  ASSERT_EQ(spawned.size(), 1U);
  EXPECT_EQ(spawned[0].at("ids").size(), 1U);
  EXPECT_NE(run.out.find("player: Ann #1 joined"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace devserver::testing
