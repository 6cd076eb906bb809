// The player commands on a stand-in server in this process, observed the way
// a plug-in observes the host: through registered command handlers, the game
// functions it resolves by name, and the API utilities.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "api/game_members.h"
#include "captured_text.h"
#include "commands.h"
#include "standin/strict.h"

namespace devserver {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

fs::path FreshRoot() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path root = fs::temp_directory_path() / ("cairnward-players-" + std::string(test->name()) +
                                               "-" + std::to_string(getpid()));
  fs::remove_all(root);
  return root;
}

class PlayerCommandsTest : public ::testing::Test {
 protected:
  PlayerCommandsTest()
      : root_(FreshRoot()),
        out_(text_.File(), &json_),
        server_(root_),
        console_(out_),
        context_{server_, out_, console_, {}} {
    AddWorldCommands(context_);
    AddEventCommands(context_);
    AddPlayerCommands(context_);
    standin::ClearViolations();
  }

  void TearDown() override {
    server_.Commands().Clear();
    EXPECT_TRUE(standin::Violations().empty()) << standin::Violations().front();
    standin::ClearViolations();
    fs::remove_all(root_);
  }

  // Line numbers in errors count from 1 in each script.
  void Run(const std::string& script) {
    std::istringstream in(script);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      console_.RunLine(line, number);
    }
  }

  std::vector<json> Events(const std::string& kind) const {
    std::vector<json> found;
    std::istringstream lines(json_.str());
    std::string line;
    while (std::getline(lines, line)) {
      json event = json::parse(line);
      if (event.at("event") == kind) {
        found.push_back(std::move(event));
      }
    }
    return found;
  }

  std::vector<std::string> Errors() const {
    std::vector<std::string> texts;
    for (const auto& e : Events("error")) {
      texts.push_back(e.at("text").get<std::string>());
    }
    return texts;
  }

  // The ids of every actor spawned so far, in order.
  std::vector<std::uint64_t> SpawnedIds() const {
    std::vector<std::uint64_t> ids;
    for (const auto& e : Events("spawned")) {
      for (const auto& id : e.at("ids")) {
        ids.push_back(id.get<std::uint64_t>());
      }
    }
    return ids;
  }

  AShooterPlayerController* Player(const std::string& name) {
    return standin::AsGame<AShooterPlayerController>(server_.GetWorld().FindPlayer(name));
  }

  APrimalCharacter* CharacterOf(const std::string& name) {
    return Resolve(game::kGetPlayerCharacter)(Player(name));
  }

  // What a plug-in's blueprint lookup gets for the player's aim.
  AActor* AimedActorOf(const std::string& name) {
    return Resolve(game::kGetAimedActor)(CharacterOf(name), 6, nullptr, 0.0F, 0.0F, nullptr,
                                         nullptr, false, false, false);
  }

  AActor* ActorWithId(std::uint64_t id) {
    return standin::AsGame<AActor>(server_.GetWorld().FindById(id));
  }

  fs::path root_;
  CapturedText text_;
  std::ostringstream json_;
  EventOutput out_;
  standin::Server server_;
  Console console_;
  Context context_;
};

TEST_F(PlayerCommandsTest, ChatCommandTakesItsLinesWhateverTheCaseAndGetsTheWholeLine) {
  struct Call {
    AShooterPlayerController* player;
    std::u16string line;
    EChatSendMode::Type mode;
  };
  std::vector<Call> calls;
  server_.Commands().AddChatCommand(
      FString(u"/limits"),
      [&](AShooterPlayerController* player, FString* line, EChatSendMode::Type mode) {
        calls.push_back({player, std::u16string(line->View()), mode});
      });
  Run("player add Alice steam=1 team=1001\n"
      "chat Alice /LIMITS\n"
      "chat Alice \"/Limits  all\"\n"
      "chat Alice /limits now please\n"
      "chat Alice /limitsx\n");

  EXPECT_TRUE(Errors().empty()) << text_.Read();
  ASSERT_EQ(calls.size(), 3U);
  for (const Call& call : calls) {
    EXPECT_EQ(call.player, Player("Alice"));
    EXPECT_EQ(call.mode, EChatSendMode::GlobalChat);
  }
  EXPECT_EQ(calls[0].line, u"/LIMITS");
  EXPECT_EQ(calls[1].line, u"/Limits  all");
  EXPECT_EQ(calls[2].line, u"/limits now please");

  std::vector<bool> taken;
  for (const auto& e : Events("chat_line")) {
    taken.push_back(e.at("command").get<bool>());
  }
  EXPECT_EQ(taken, (std::vector<bool>{true, true, true, false}));
}

TEST_F(PlayerCommandsTest, OrdinaryChatIsShownAndIsNoError) {
  Run("player add Bob steam=2 team=1002\n"
      "chat Bob anyone selling   cannons?\n"
      "chat Bob \"meet at the bay # north\"\n"
      "chat Bob\n"
      "chat Nobody hello\n");

  const auto lines = Events("chat_line");
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_EQ(lines[0], json::parse(R"({"event":"chat_line","player":"Bob",)"
                                  R"("text":"anyone selling cannons?","command":false})"));
  EXPECT_EQ(lines[1].at("text"), "meet at the bay # north");
  EXPECT_NE(text_.Read().find("chat: Bob says \"anyone selling cannons?\"\n"), std::string::npos);

  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 2U);
  EXPECT_EQ(errors[0], "chat: missing TEXT; usage: chat PLAYER TEXT (line 4)");
  EXPECT_EQ(errors[1], "chat: no player named Nobody is connected (line 5)");
}

TEST_F(PlayerCommandsTest, ConsoleCommandGetsTheControllerAndLineAndAnUnknownOneIsAnError) {
  std::vector<std::u16string> lines;
  server_.Commands().AddConsoleCommand(FString(u"GetBp"), [&](APlayerController* player,
                                                              FString* line, bool flag) {
    EXPECT_EQ(player, standin::AsGame<APlayerController>(server_.GetWorld().FindPlayer("Dave")));
    EXPECT_FALSE(flag);
    lines.emplace_back(line->View());
  });
  Run("player add Dave steam=9 team=1009 admin\n"
      "console Dave getbp\n"
      "console Dave GetBp and more words\n"
      "console Dave NoSuchCommand at all\n"
      "console Dave\n");

  EXPECT_EQ(lines, (std::vector<std::u16string>{u"getbp", u"GetBp and more words"}));
  EXPECT_EQ(Events("console_line").size(), 2U);
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 2U);
  EXPECT_EQ(errors[0], "console: no console command is named \"NoSuchCommand\" (line 4)");
  EXPECT_EQ(errors[1], "console: missing TEXT; usage: console PLAYER TEXT (line 5)");
}

TEST_F(PlayerCommandsTest, KillTakesTheCharacterAndReviveGivesANewOneOfHisTeam) {
  std::vector<bool> dead_when_asked;
  server_.Commands().AddChatCommand(
      FString(u"/limits"), [&](AShooterPlayerController* player, FString*, EChatSendMode::Type) {
        dead_when_asked.push_back(server_.ApiUtils().IsPlayerDead(player));
      });
  Run("player add Alice steam=1 team=1001\n"
      "tribe create Alice id=5001\n");
  EXPECT_FALSE(server_.ApiUtils().IsPlayerDead(Player("Alice")));

  Run("kill Alice\n"
      "kill Alice\n"
      "chat Alice /limits\n");
  EXPECT_TRUE(server_.ApiUtils().IsPlayerDead(Player("Alice")));
  EXPECT_EQ(CharacterOf("Alice"), nullptr);
  EXPECT_EQ(Errors(), std::vector<std::string>{"kill: Alice is dead already (line 2)"});

  Run("revive Alice\n"
      "revive Alice\n"
      "chat Alice /limits\n");
  EXPECT_FALSE(server_.ApiUtils().IsPlayerDead(Player("Alice")));
  ASSERT_NE(CharacterOf("Alice"), nullptr);
  EXPECT_EQ(FieldOf(CharacterOf("Alice"), game::kTargetingTeam), 5001);
  EXPECT_EQ(Errors().back(), "revive: Alice is alive (line 2)");

  // The host hands a dead player's chat command on; the handler decides.
  EXPECT_EQ(dead_when_asked, (std::vector<bool>{true, false}));
  std::vector<std::string> states;
  for (const auto& e : Events("player")) {
    states.push_back(e.at("state").get<std::string>());
  }
  EXPECT_EQ(states, (std::vector<std::string>{"dead", "alive"}));
}

TEST_F(PlayerCommandsTest, AimAnswersTheActorAimedAtOrNothing) {
  Run("player add Dave steam=9 team=1009 admin\n"
      "spawn /Game/Structures/Gate.Gate team=1009\n"
      "spawn-other\n");
  const auto ids = SpawnedIds();
  ASSERT_EQ(ids.size(), 2U);
  EXPECT_EQ(AimedActorOf("Dave"), nullptr) << "a new character aims at nothing";

  Run(fmt::format("aim Dave {}\n", ids[0]));
  EXPECT_EQ(AimedActorOf("Dave"), ActorWithId(ids[0]));
  Run(fmt::format("aim Dave {}\n", ids[1]));
  EXPECT_EQ(AimedActorOf("Dave"), ActorWithId(ids[1])) << "not only structures";
  Run("aim Dave none\n");
  EXPECT_EQ(AimedActorOf("Dave"), nullptr);

  Run(fmt::format("aim Dave {}\nkill Dave\nrevive Dave\n", ids[0]));
  EXPECT_EQ(AimedActorOf("Dave"), nullptr) << "the aim died with the old character";

  EXPECT_TRUE(Errors().empty()) << text_.Read();
  const auto aims = Events("aim");
  ASSERT_EQ(aims.size(), 4U);
  EXPECT_EQ(aims[0],
            json::parse(fmt::format(R"({{"event":"aim","player":"Dave","id":{}}})", ids[0])));
  EXPECT_TRUE(aims[2].at("id").is_null());
  EXPECT_NE(text_.Read().find(fmt::format("aim: Dave aims at id {} (Gate_C)\n", ids[0])),
            std::string::npos);
}

TEST_F(PlayerCommandsTest, AimNeverOutlivesItsTargetAndRefusesWhatCannotBeAimedAt) {
  Run("player add Dave steam=9 team=1009 admin\n"
      "spawn /Game/Structures/Gate.Gate team=1009 count=2\n");
  const auto ids = SpawnedIds();
  ASSERT_EQ(ids.size(), 2U);
  const std::string gate = std::to_string(ids[0]);
  const std::string doomed = std::to_string(ids[1]);

  Run(fmt::format("aim Dave {0}\ndestroy {0}\n", doomed));
  EXPECT_EQ(AimedActorOf("Dave"), nullptr);

  Run(
      fmt::format("aim Dave {}\n"
                  "aim Dave {}\n"
                  "aim Dave 999999\n"
                  "aim Dave gate\n"
                  "kill Dave\n"
                  "aim Dave none\n",
                  gate, doomed));
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 4U);
  EXPECT_EQ(errors[0], "aim: no actor with id " + doomed + " is in the level (line 2)");
  EXPECT_EQ(errors[1], "aim: no actor with id 999999 is in the level (line 3)");
  EXPECT_NE(errors[2].find("usage: aim PLAYER ID|none (line 4)"), std::string::npos) << errors[2];
  EXPECT_EQ(errors[3], "aim: Dave is dead and cannot aim (line 6)");

  Run(fmt::format("revive Dave\naim Dave {}\naim Dave 999999\n", gate));
  EXPECT_EQ(AimedActorOf("Dave"), ActorWithId(ids[0])) << "a refused aim keeps the old one";
}

}  // namespace
}  // namespace devserver
