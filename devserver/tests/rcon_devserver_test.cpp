// The built development server as a separate process, serving RCON to a
// plain client while its console reads a pipe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "devserver_run.h"
#include "rcon_client.h"

extern char** environ;

namespace devserver {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using rcon::Packet;
using testing::RconClient;
using testing::ReadFile;

constexpr const char* kPassword = "s3cret";

// The server with its console on a pipe, its output and events in files.
class Devserver {
 public:
  Devserver(const fs::path& dir, std::vector<std::string> options) : dir_(dir) {
    fs::copy(fs::path(CAIRNWARD_SOURCE_DIR) / "examples" / "server", dir / "server",
             fs::copy_options::recursive);
    std::vector<std::string> args = {DEVSERVER_EXE, "--root", (dir / "server").string(), "--events",
                                     (dir / "events.jsonl").string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int console[2];
    EXPECT_EQ(pipe(console), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, console[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, console[1]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir / "out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(posix_spawn(&pid_, DEVSERVER_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(console[0]);
    console_ = console[1];
  }

  ~Devserver() {
    if (console_ >= 0) {
      close(console_);
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Devserver(const Devserver&) = delete;
  Devserver& operator=(const Devserver&) = delete;

  void Type(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(console_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // Ends the console's input and waits for the exit status.
  int Finish() {
    close(console_);
    console_ = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<json> Events() const {
    std::vector<json> events;
    std::istringstream lines(ReadFile(dir_ / "events.jsonl"));
    for (std::string line; std::getline(lines, line);) {
      if (const json event = json::parse(line, nullptr, false); !event.is_discarded()) {
        events.push_back(event);
      }
    }
    return events;
  }

  // The first event like `wanted` (all of its members equal), waiting for it.
  std::optional<json> Await(const json& wanted) const {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    do {
      for (const json& event : Events()) {
        bool all = true;
        for (const auto& [key, value] : wanted.items()) {
          all = all && event.contains(key) && event.at(key) == value;
        }
        if (all) {
          return event;
        }
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
  }

  std::uint16_t RconPort() const {
    const auto listening = Await({{"event", "rcon_listening"}});
    return listening ? listening->at("port").get<std::uint16_t>() : 0;
  }

  std::string Output() const { return ReadFile(dir_ / "out.txt") + ReadFile(dir_ / "err.txt"); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  int console_ = -1;
};

class RconDevserver : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "cairnward-rcon-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(RconDevserver, AScriptRunsThenTheServerServesUntilItsInputEnds) {
  std::ofstream(dir_ / "start.devscript") << "server status 1\nrcon frob\n";
  Devserver server(dir_, {"--script", (dir_ / "start.devscript").string(), "--rcon-port", "0",
                          "--rcon-password", kPassword});
  const std::uint16_t port = server.RconPort();
  ASSERT_NE(port, 0) << server.Output();
  ASSERT_TRUE(server.Await(
      {{"event", "error"}, {"text", "rcon: no RCON command is named \"frob\" (line 2)"}}))
      << server.Output();

  // The script has ended; the server still serves, and still reads its console.
  EXPECT_EQ(RconClient(port).Authenticate("wrong", 1), -1);
  RconClient client(port);
  EXPECT_EQ(client.Authenticate(kPassword, 2), 2);
  client.Send(3, rcon::kExecCommand, "frob");
  EXPECT_EQ(client.Next(), (Packet{3, 0, "Unknown command: frob"}));
  server.Type("plugin load");
  EXPECT_TRUE(server.Await({{"event", "plugin"}, {"state", "loaded"}})) << server.Output();

  EXPECT_EQ(server.Finish(), 0) << server.Output();
  EXPECT_TRUE(server.Await({{"event", "plugin"}, {"state", "unloaded"}})) << server.Output();
  EXPECT_TRUE(client.ClosedByServer());
}

// Needs the plug-in's RCON handlers, which answer these two commands.
TEST_F(RconDevserver, ThePluginAnswersReloadAndUpdateStructures) {
  Devserver server(dir_, {"--rcon-port", "0", "--rcon-password", kPassword});
  server.Type("plugin load");
  ASSERT_TRUE(server.Await({{"event", "plugin"}, {"state", "loaded"}})) << server.Output();
  RconClient client(server.RconPort());
  ASSERT_EQ(client.Authenticate(kPassword, 1), 1);

  // Each with the end marker after it, so that a missing answer shows at once.
  client.Send(2, rcon::kExecCommand, "cairnward.reload");
  client.Send(3, rcon::kResponseValue, "");
  EXPECT_EQ(client.Next(), (Packet{2, 0, "Reloaded config"}));
  EXPECT_EQ(client.Next(), (Packet{3, 0, ""}));
  client.Send(4, rcon::kExecCommand, "UpdateStructures");
  client.Send(5, rcon::kResponseValue, "");
  EXPECT_EQ(client.Next(), (Packet{4, 0, "Updated All Structures"}));
  EXPECT_EQ(client.Next(), (Packet{5, 0, ""}));

  server.Type("quit");
  EXPECT_EQ(server.Finish(), 0) << server.Output();
}

TEST_F(RconDevserver, TheClientCapIsAnOption) {
  Devserver server(dir_, {"--rcon-port", "0", "--rcon-password", kPassword, "--rcon-max-clients",
                          "1", "--rcon-max-failures", "1", "--rcon-ban-time", "900"});
  const std::uint16_t port = server.RconPort();
  ASSERT_NE(port, 0) << server.Output();
  RconClient first(port);
  ASSERT_EQ(first.Authenticate(kPassword, 1), 1);
  RconClient second(port);
  EXPECT_TRUE(second.ClosedByServer());
  first.Send(2, rcon::kExecCommand, "frob");
  EXPECT_EQ(first.Next(), (Packet{2, 0, "Unknown command: frob"}));
  // So are the failure limits: one wrong password bans the address.
  EXPECT_EQ(first.Authenticate("wrong", 3), -1);
  EXPECT_TRUE(first.ClosedByServer());
  RconClient banned(port);
  banned.Send(4, rcon::kAuth, kPassword);
  EXPECT_TRUE(banned.ClosedByServer());
  EXPECT_EQ(server.Finish(), 0) << server.Output();
  EXPECT_NE(server.Output().find("refused: 1 connections are open already"), std::string::npos)
      << server.Output();
  EXPECT_NE(server.Output().find("refused: its address is banned for 900 s more"),
            std::string::npos)
      << server.Output();
}

TEST_F(RconDevserver, BadRconOptionsStopTheServerBeforeItStarts) {
  const std::string base = std::string("'") + DEVSERVER_EXE + "' --root '" + dir_.string() +
                           "/server' < /dev/null > /dev/null 2>&1";
  const auto exit_code = [](const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_NE(exit_code(base + " --rcon-port 0"), 0) << "a port needs a password";
  EXPECT_NE(exit_code(base + " --rcon-password x"), 0) << "a password needs a port";
  EXPECT_NE(exit_code(base + " --rcon-port 70000 --rcon-password x"), 0);
  EXPECT_NE(exit_code(base + " --rcon-port 0 --rcon-password x --rcon-address 300.1.2.3"), 0);
  EXPECT_NE(exit_code(base + " --rcon-port 0 --rcon-password x --rcon-max-clients 0"), 0);
  EXPECT_NE(exit_code(base + " --rcon-max-clients 4"), 0) << "a cap needs a port";
  for (const char* limit : {"--rcon-max-unauthenticated", "--rcon-max-unauthenticated-per-address",
                            "--rcon-login-timeout", "--rcon-max-failures", "--rcon-failure-window",
                            "--rcon-ban-time"}) {
    EXPECT_NE(exit_code(base + " --rcon-port 0 --rcon-password x " + limit + " 0"), 0) << limit;
    EXPECT_NE(exit_code(base + " " + limit + " 5"), 0) << limit << " needs a port";
  }
  EXPECT_EQ(exit_code(base + " --rcon-port 0 --rcon-password x --rcon-address 127.0.0.2"), 0);
}

}  // namespace
}  // namespace devserver
