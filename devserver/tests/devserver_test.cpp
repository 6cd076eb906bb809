// The server as a whole: loads, configuration, its inputs and outputs, and
// the game events it drives.
#include "devserver_run.h"

namespace devserver::testing {
namespace {

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

// The example configuration with a limit of one wall.
void WriteOneWallConfig(const fs::path& file) {
  json config = json::parse(ReadFile(ExampleConfig()));
  config["Structures"]["Blueprint'/Game/Structures/Wall.Wall'"]["Count"] = 1;
  WriteFile(file, config.dump());
}

// An error line that names `what` and the line it is about.
void ExpectErrorAbout(const std::string& error, const std::string& what, int line) {
  EXPECT_NE(error.find(what), std::string::npos) << error;
  EXPECT_NE(error.find("(line " + std::to_string(line) + ")"), std::string::npos) << error;
}

// A placement allowed and one refused, an unknown player and an unknown id,
// a removal and a tribe.
const char* const kEventLines =
    "config use one-wall.json\n"
    "plugin load\n"
    "player add Bob steam=5 team=1000001\n"
    "place Bob /Game/Structures/Wall.Wall\n"
    "place Bob /Game/Structures/Wall.Wall\n"
    "place Nobody /Game/Structures/Wall.Wall\n"
    "destroy 999999\n"
    "destroy team=1000001 /Game/Structures/Wall.Wall\n"
    "tribe create Bob id=7\n";

TEST_F(DevserverTest, EventCommandsDriveThePlugInThroughTheHooks) {
  WriteOneWallConfig(dir_ / "one-wall.json");
  const Outcome run = Serve(ExampleRoot(), kEventLines);

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
  ExpectErrorAbout(errors[0], "Nobody", 6);
  ExpectErrorAbout(errors[1], "999999", 7);

  const auto destroyed = run.OfKind("destroyed");
  ASSERT_EQ(destroyed.size(), 1U) << run.out;
  EXPECT_EQ(destroyed[0].at("ids"), json::array({placed[0].at("id")}));

  EXPECT_EQ(run.OfKind("tribe"),
            std::vector<json>{
                json::parse(R"({"event":"tribe","player":"Bob","case":"create","result":true})")})
      << run.out;
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
}  // namespace devserver::testing
