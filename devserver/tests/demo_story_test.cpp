// The demo story as scripts/demo plays it.
#include "devserver_run.h"

namespace devserver::testing {
namespace {

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
  // The last configuration names the limit in a refusal; the first one does not.
  EXPECT_NE(Run().out.find("Your tribe has reached its limit: Turrets 4/4."), std::string::npos)
      << Run().out;
  EXPECT_NE(Run().out.find("Your tribe has reached its limit for this structure."),
            std::string::npos)
      << Run().out;

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

}  // namespace
}  // namespace devserver::testing
