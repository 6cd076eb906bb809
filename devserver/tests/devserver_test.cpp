// Runs the built development server as a separate process on scripts and
// checks what it prints and the JSON events it writes.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

struct Outcome {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
  std::vector<json> events;

  [[nodiscard]] std::vector<json> OfKind(const std::string& kind) const {
    std::vector<json> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [&](const json& e) { return e.at("event") == kind; });
    return found;
  }
  [[nodiscard]] std::vector<std::string> PluginStates() const {
    std::vector<std::string> states;
    for (const auto& e : OfKind("plugin")) {
      states.push_back(e.at("state").get<std::string>());
    }
    return states;
  }
  [[nodiscard]] std::vector<std::string> ErrorTexts() const {
    std::vector<std::string> texts;
    for (const auto& e : OfKind("error")) {
      texts.push_back(e.at("text").get<std::string>());
    }
    return texts;
  }
};

std::vector<json> ParseEventLines(const std::string& text) {
  std::vector<json> events;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    try {
      events.push_back(json::parse(line));
      EXPECT_TRUE(events.back().is_object() && events.back().contains("event")) << line;
    } catch (const json::exception& e) {
      ADD_FAILURE() << "event line is no JSON: " << line << " (" << e.what() << ")";
    }
  }
  return events;
}

class DevserverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("cairnward-devserver-" + std::string(test->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A private copy of the bundled example server.
  fs::path ExampleRoot() {
    fs::path root = dir_ / "server";
    fs::copy(ExampleSource(), root, fs::copy_options::recursive);
    return root;
  }
  static fs::path ExampleSource() { return fs::path(CAIRNWARD_SOURCE_DIR) / "examples" / "server"; }
  static fs::path ExampleConfig() {
    return ExampleSource() / "AtlasApi" / "Plugins" / "Cairnward" / "config.json";
  }
  static fs::path Installed(const fs::path& root) {
    return root / "AtlasApi" / "Plugins" / "Cairnward" / "Cairnward.so";
  }

  enum class Input { kScriptOption, kStdin };

  // Runs the server in the test's folder with the events in a file of their own.
  Outcome Serve(const fs::path& root, const std::string& script,
                Input input = Input::kScriptOption) {
    WriteFile(dir_ / "script.devscript", script);
    std::string command = "cd " + Quoted(dir_) + " && " + Quoted(DEVSERVER_EXE) + " --root " +
                          Quoted(root) + " --json --events " + Quoted(dir_ / "events.jsonl");
    command += input == Input::kStdin ? " < " + Quoted(dir_ / "script.devscript")
                                      : " --script " + Quoted(dir_ / "script.devscript");
    return RunCommand(
        command + " > " + Quoted(dir_ / "out.txt") + " 2> " + Quoted(dir_ / "err.txt"),
        dir_ / "events.jsonl");
  }

  Outcome RunCommand(const std::string& command, const fs::path& events_file) {
    Outcome run;
    const int status = std::system(command.c_str());
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(dir_ / "out.txt");
    run.err = ReadFile(dir_ / "err.txt");
    run.events = ParseEventLines(ReadFile(events_file));
    return run;
  }

  fs::path dir_;
};

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The demo story, run once as scripts/demo runs it (from the top folder,
// where its config paths start); each test looks at one part of it at work.
class DemoStory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("cairnward-devserver-demo-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::copy(fs::path(CAIRNWARD_SOURCE_DIR) / "examples" / "server", Root(),
             fs::copy_options::recursive);
    const int status =
        std::system(("cd " + Quoted(CAIRNWARD_SOURCE_DIR) + " && " + Quoted(DEVSERVER_EXE) +
                     " --root " + Quoted(Root()) + " --events " + Quoted(dir_ / "events.jsonl") +
                     " --script examples/scripts/demo.devscript > " + Quoted(dir_ / "out.txt") +
                     " 2> " + Quoted(dir_ / "err.txt"))
                        .c_str());
    run_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run_.out = ReadFile(dir_ / "out.txt");
    run_.err = ReadFile(dir_ / "err.txt");
    run_.events = ParseEventLines(ReadFile(dir_ / "events.jsonl"));
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static fs::path Root() { return dir_ / "server"; }
  static const Outcome& Run() { return run_; }

 private:
  static inline fs::path dir_;
  static inline Outcome run_;
};

TEST_F(DemoStory, RunsEveryLineWithThisBuildsPlugIn) {
  ASSERT_EQ(Run().exit_code, 0) << Run().out << Run().err;
  EXPECT_TRUE(Run().ErrorTexts().empty()) << Run().out;
  EXPECT_EQ(Run().PluginStates(), (std::vector<std::string>{"loaded", "unloaded"}));

  // The installed library is this build's plug-in, and the server said so.
  EXPECT_EQ(ReadFile(Root() / "AtlasApi" / "Plugins" / "Cairnward" / "Cairnward.so"),
            ReadFile(CAIRNWARD_PLUGIN_LIBRARY));
  EXPECT_NE(Run().out.find("plugin: installed the fresh build"), std::string::npos) << Run().out;
}

TEST_F(DemoStory, TheHostsLogReachesBothOutputs) {
  const auto logs = Run().OfKind("log");
  for (const auto& log : logs) {
    EXPECT_TRUE(log.at("level").is_string() && log.at("logger").is_string() &&
                log.at("text").is_string())
        << log;
  }
  const auto loaded_lines = std::count_if(logs.begin(), logs.end(), [](const json& log) {
    return log.at("text") == "Loaded plugin Cairnward" && log.at("level") == "info" &&
           log.at("logger") == "AtlasApi";
  });
  EXPECT_EQ(loaded_lines, 1);
  EXPECT_NE(Run().out.find("[AtlasApi][info] Loaded plugin Cairnward"), std::string::npos);
}

TEST_F(DemoStory, TheLimitsRefuseACannonAndOneOfTwoMerges) {
  std::set<std::uint64_t> ids;
  for (const auto& spawned : Run().OfKind("spawned")) {
    for (const auto& id : spawned.at("ids")) {
      ids.insert(id.get<std::uint64_t>());
    }
  }
  EXPECT_EQ(ids.size(), 22U) << "every actor of the save has an id of its own";

  const auto refused = Run().OfKind("refused");
  ASSERT_FALSE(refused.empty()) << Run().out;
  EXPECT_EQ(refused[0],
            json::parse(R"({"event":"refused","player":"Alice",)"
                        R"("blueprint":"/Game/Structures/Cannon.Cannon","by":"plugin"})"));

  std::vector<std::string> merges;
  for (const auto& tribe : Run().OfKind("tribe")) {
    if (tribe.at("case") == "merge") {
      merges.push_back(tribe.at("player").get<std::string>() +
                       (tribe.at("result").get<bool>() ? " joined" : " refused"));
    }
  }
  EXPECT_EQ(merges, (std::vector<std::string>{"Carol refused", "Bob joined"}));
}

TEST_F(DemoStory, GetBpAnswersWithThePathOfTheAimedGate) {
  std::vector<json> gates;
  for (const auto& placed : Run().OfKind("placed")) {
    if (placed.at("blueprint") == "/Game/Structures/Gate.Gate") {
      gates.push_back(placed);
    }
  }
  const auto aims = Run().OfKind("aim");
  ASSERT_EQ(aims.size(), 1U) << Run().out;
  ASSERT_FALSE(gates.empty()) << Run().out;
  EXPECT_EQ(aims[0].at("id"), gates[0].at("id"));
  const auto consoles = Run().OfKind("console_line");
  ASSERT_EQ(consoles.size(), 1U) << Run().out;
  EXPECT_EQ(consoles[0].at("text"), "GetBp");

  // By chat, with the path as the configuration writes it.
  const auto chats = Run().OfKind("chat");
  ASSERT_EQ(chats.size(), 1U) << Run().out;
  EXPECT_EQ(chats[0].at("text"), "Blueprint'/Game/Structures/Gate.Gate'");
}

TEST_F(DemoStory, ReloadsAndLimitsOverRconAnswerWithTheRaisedLimits) {
  // The reloads over RCON answer, and the raised limits are shown after them;
  // cairnward.limits gives a tribe's own limits by a player's name, and the
  // group that refused Alice's second ballista by a team id; cairnward.over
  // finds Carol's tribe above the lowered gate limit.
  const auto replies = Run().OfKind("rcon_reply");
  ASSERT_EQ(replies.size(), 5U) << Run().out;
  EXPECT_EQ(replies[0].at("text"), "Reloaded config");
  EXPECT_NE(Run().out.find("Wall: 5/8"), std::string::npos) << Run().out;
  EXPECT_EQ(replies[1].at("text"), "5003: Gate 3/2");
  EXPECT_EQ(replies[2].at("text"), "Reloaded config");
  EXPECT_NE(
      replies[3].at("text").get<std::string>().find("Turrets (all together): 1/8\nTotal: 8/200"),
      std::string::npos)
      << Run().out;
  EXPECT_NE(replies[4].at("text").get<std::string>().find("Turrets (all together): 4/4"),
            std::string::npos)
      << Run().out;
  EXPECT_EQ(Run().OfKind("refused").back(),
            json::parse(R"({"event":"refused","player":"Alice",)"
                        R"("blueprint":"/Game/Structures/Ballista.Ballista","by":"plugin"})"));
  EXPECT_NE(Run().out.find("Careful: Turrets 4/4"), std::string::npos) << Run().out;

  // /limits is the chat command the configuration names; Bob's question is chat.
  for (const auto& line : Run().OfKind("chat_line")) {
    EXPECT_EQ(line.at("command"), line.at("text") == "/limits") << line;
  }
}

TEST_F(DemoStory, NarrationReadsAsWritten) {
  EXPECT_TRUE(HasLine(Run().out, "=== 1. A world from a save ===")) << Run().out;
  EXPECT_EQ(Run().out.find("> echo"), std::string::npos) << Run().out;
  EXPECT_EQ(Run().out.find("{\"event\""), std::string::npos) << Run().out;
}

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

TEST_F(DevserverTest, EachBadLineIsOneErrorAndChangesNothing) {
  const Outcome run = Serve(ExampleRoot(),
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
                            "spawn Blueprint'/Game/Structures/Wall.Wall' team=7 count=2\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::vector<int> expected_lines = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 18};
  const auto errors = run.ErrorTexts();
  ASSERT_EQ(errors.size(), expected_lines.size()) << run.out;
  for (std::size_t i = 0; i < errors.size(); ++i) {
    const std::string suffix = "(line " + std::to_string(expected_lines[i]) + ")";
    EXPECT_TRUE(errors[i].size() > suffix.size() &&
                errors[i].compare(errors[i].size() - suffix.size(), suffix.size(), suffix) == 0)
        << errors[i] << " should end with " << suffix;
    EXPECT_EQ(errors[i].find('\n'), std::string::npos) << errors[i];
  }
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

TEST_F(DevserverTest, MissingConfigFailsTheLoadUntilOneIsGiven) {
  // A bare folder: no config.json and no plug-in until the server installs it.
  const fs::path root = dir_ / "bare";
  WriteFile(dir_ / "good.json", ReadFile(ExampleConfig()));
  const Outcome run = Serve(root,
                            "plugin load\n"
                            "config use good.json\n"
                            "plugin load\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(fs::is_regular_file(Installed(root)));
  EXPECT_EQ(run.PluginStates(), (std::vector<std::string>{"load_failed", "loaded", "unloaded"}));
  const auto logs = run.OfKind("log");
  const auto cant_open = std::count_if(logs.begin(), logs.end(), [](const json& log) {
    return log.at("level") == "error" && log.at("text") == "Can't open config.json";
  });
  EXPECT_EQ(cant_open, 2);
  EXPECT_TRUE(run.ErrorTexts().empty()) << run.out;
}

TEST_F(DevserverTest, ConfigUseReplacesOnlyTheServersConfig) {
  const fs::path root = ExampleRoot();
  const std::string bundled = ReadFile(ExampleConfig());
  WriteFile(dir_ / "broken.json", "{ \"General\": ");
  const Outcome run = Serve(root,
                            "config use broken.json\n"
                            "plugin load\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(run.PluginStates(), std::vector<std::string>{"load_failed"});
  EXPECT_EQ(ReadFile(root / "AtlasApi/Plugins/Cairnward/config.json"), "{ \"General\": ");
  EXPECT_EQ(ReadFile(ExampleConfig()), bundled);
}

TEST_F(DevserverTest, SecondLoadIsRefusedAndKeepsThePluginLoaded) {
  const Outcome run = Serve(ExampleRoot(),
                            "plugin load\n"
                            "plugin load\n"
                            "plugin unload\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(run.PluginStates(), (std::vector<std::string>{"loaded", "load_failed", "unloaded"}));
  EXPECT_TRUE(run.ErrorTexts().empty()) << run.out;
}

TEST_F(DevserverTest, StandardInputRunsUntilQuit) {
  const Outcome run = Serve(ExampleRoot(),
                            "plugin load\n"
                            "quit\n"
                            "not run after quit\n",
                            Input::kStdin);

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.ErrorTexts().empty()) << run.out;
  // Shutting down unloads the plug-in.
  EXPECT_EQ(run.PluginStates(), (std::vector<std::string>{"loaded", "unloaded"}));
}

TEST_F(DevserverTest, JsonGoesToStandardErrorOnlyWhenAsked) {
  const fs::path root = ExampleRoot();
  WriteFile(dir_ / "script.devscript", "plugin load\nfoo\n");
  const std::string base = "cd " + Quoted(dir_) + " && " + Quoted(DEVSERVER_EXE) + " --root " +
                           Quoted(root) + " --script " + Quoted(dir_ / "script.devscript");
  const std::string redirect = " > " + Quoted(dir_ / "out.txt") + " 2> " + Quoted(dir_ / "err.txt");

  const Outcome plain = RunCommand(base + redirect, dir_ / "err.txt");
  ASSERT_EQ(plain.exit_code, 0) << plain.out << plain.err;
  EXPECT_TRUE(plain.err.empty()) << plain.err;
  EXPECT_TRUE(HasLine(plain.out, "error: unknown command \"foo\" (line 2)")) << plain.out;

  const Outcome with_json = RunCommand(base + " --json" + redirect, dir_ / "err.txt");
  ASSERT_EQ(with_json.exit_code, 0) << with_json.out << with_json.err;
  EXPECT_EQ(with_json.PluginStates(), (std::vector<std::string>{"loaded", "unloaded"}));
  EXPECT_EQ(with_json.ErrorTexts(), std::vector<std::string>{"unknown command \"foo\" (line 2)"});
  EXPECT_EQ(with_json.out.find("{\"event\""), std::string::npos) << with_json.out;
}

TEST_F(DevserverTest, EventCommandsDriveThePlugInThroughTheHooks) {
  // The example configuration with a limit of one wall.
  json config = json::parse(ReadFile(ExampleConfig()));
  config["Structures"]["Blueprint'/Game/Structures/Wall.Wall'"]["Count"] = 1;
  WriteFile(dir_ / "one-wall.json", config.dump());
  const Outcome run = Serve(ExampleRoot(),
                            "config use one-wall.json\n"
                            "plugin load\n"
                            "player add Bob steam=5 team=1000001\n"
                            "place Bob /Game/Structures/Wall.Wall\n"
                            "place Bob /Game/Structures/Wall.Wall\n"
                            "place Nobody /Game/Structures/Wall.Wall\n"
                            "destroy 999999\n"
                            "destroy team=1000001 /Game/Structures/Wall.Wall\n"
                            "tribe create Bob id=7\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(run.PluginStates(), (std::vector<std::string>{"loaded", "unloaded"}));

  const auto placed = run.OfKind("placed");
  ASSERT_EQ(placed.size(), 1U) << run.out;
  EXPECT_EQ(placed[0].at("player"), "Bob");
  EXPECT_EQ(placed[0].at("blueprint"), "/Game/Structures/Wall.Wall");
  ASSERT_TRUE(placed[0].at("id").is_number_unsigned()) << placed[0];

  const auto refused = run.OfKind("refused");
  ASSERT_EQ(refused.size(), 1U) << run.out;
  EXPECT_EQ(refused[0].at("player"), "Bob");
  EXPECT_EQ(refused[0].at("by"), "plugin");

  // The unknown player and id are one error line each; the server goes on.
  const auto errors = run.ErrorTexts();
  ASSERT_EQ(errors.size(), 2U) << run.out;
  EXPECT_NE(errors[0].find("Nobody"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("(line 6)"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("999999"), std::string::npos) << errors[1];
  EXPECT_NE(errors[1].find("(line 7)"), std::string::npos) << errors[1];

  const auto destroyed = run.OfKind("destroyed");
  ASSERT_EQ(destroyed.size(), 1U) << run.out;
  EXPECT_EQ(destroyed[0].at("ids"), json::array({placed[0].at("id")}));

  const auto tribe = run.OfKind("tribe");
  ASSERT_EQ(tribe.size(), 1U) << run.out;
  EXPECT_EQ(tribe[0],
            json::parse(R"({"event":"tribe","player":"Bob","case":"create","result":true})"));
}

TEST_F(DevserverTest, GameRefusalIsReportedAndTheVerdictIsRestored) {
  const Outcome run = Serve(ExampleRoot(),
                            "plugin load\n"
                            "player add Bob steam=5 team=1000001\n"
                            "place Bob /Game/Structures/Door.Door game=refuse\n"
                            "place Bob /Game/Structures/Door.Door\n"
                            "place Bob /Game/Structures/Door.Door game=maybe\n");

  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const auto refused = run.OfKind("refused");
  ASSERT_EQ(refused.size(), 1U) << run.out;
  EXPECT_EQ(refused[0].at("by"), "game");
  EXPECT_EQ(run.OfKind("placed").size(), 1U) << run.out;
  ASSERT_EQ(run.ErrorTexts().size(), 1U) << run.out;
  EXPECT_NE(run.ErrorTexts()[0].find("(line 5)"), std::string::npos);
}

}  // namespace
