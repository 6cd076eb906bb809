#pragma once

// Runs the built development server as a separate process on scripts and
// reads what it prints and the JSON events it writes.
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

namespace devserver::testing {

namespace fs = std::filesystem;
using nlohmann::json;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string Quoted(const fs::path& path) {
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

inline std::vector<json> ParseEventLines(const std::string& text) {
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

inline fs::path ExampleSource() {
  return fs::path(CAIRNWARD_SOURCE_DIR) / "examples" / "server";
}
inline fs::path ExampleConfig() {
  return ExampleSource() / "AtlasApi" / "Plugins" / "Cairnward" / "config.json";
}
// Where a server folder has the plug-in.
inline fs::path Installed(const fs::path& root) {
  return root / "AtlasApi" / "Plugins" / "Cairnward" / "Cairnward.so";
}

// A folder of the test's own to run the server in.
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

inline bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace devserver::testing
