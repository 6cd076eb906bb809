#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "reliability/figures.h"
#include "reliability/loaded_story.h"
#include "standin/utf8.h"

namespace cairnward::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::SizeIs;
using ::testing::Truly;

bool IsUtf8(const std::string& text) {
  return standin::Utf16ToUtf8(standin::Utf8ToUtf16(text)) == text;
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string GoodText() {
  return BaselineConfig().dump(2);
}

std::string NestedArrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// A configuration's text with one member's value written as it is. The JSON
// library writes and copies documents recursively, so a deeply nested value
// is put into the text rather than into a document.
std::string WithRawMember(Json config, const std::string& key, const std::string& raw) {
  config[key] = "@RAW@";
  std::string text = config.dump(2);
  text.replace(text.find("\"@RAW@\""), 7, raw);
  return text;
}

// A config.json that no read may accept. `make` answers false when this
// machine cannot produce it.
struct RefusedFile {
  const char* name;
  bool (*make)(const fs::path& file);
  const char* error;  // in the error line and in the RCON reply
};

void PrintTo(const RefusedFile& file, std::ostream* out) {
  *out << file.name;
}

const RefusedFile kRefusedFiles[] = {
    {"Missing",
     [](const fs::path& file) {
       fs::remove(file);
       return true;
     },
     "Can't open config.json"},
    {"Unreadable",
     [](const fs::path& file) {
       WriteBytes(file, GoodText());
       fs::permissions(file, fs::perms::none);
       // Permissions do not stop root, as whom CI runs.
       return !std::ifstream(file).is_open();
     },
     "Can't open config.json"},
    {"Empty",
     [](const fs::path& file) {
       WriteBytes(file, "");
       return true;
     },
     "unexpected end of input"},
    {"ADirectory",
     [](const fs::path& file) {
       fs::remove(file);
       fs::create_directory(file);
       return true;
     },
     "Can't open config.json"},
    {"InvalidUtf8InAText",
     [](const fs::path& file) {
       Json config = BaselineConfig();
       config["Messages"]["Sender"] = "@SENDER@";
       std::string text = config.dump();
       text.replace(text.find("@SENDER@"), 8, "Caf\xC3\x28");
       WriteBytes(file, text);
       return true;
     },
     "ill-formed UTF-8 byte"},
    {"InvalidUtf8OutsideTexts",
     [](const fs::path& file) {
       WriteBytes(file, "\xFF\xFE{}");
       return true;
     },
     "syntax error while parsing value"},
    {"NulBytesInTheMiddle",
     [](const fs::path& file) {
       std::string text = GoodText();
       text.insert(text.size() / 2, std::string(3, '\0'));
       WriteBytes(file, text);
       return true;
     },
     "parse error"},
    {"OnlyNulBytes",
     [](const fs::path& file) {
       WriteBytes(file, std::string(4096, '\0'));
       return true;
     },
     "parse error"},
    {"CutOffHalfWay",
     [](const fs::path& file) {
       const std::string text = GoodText();
       WriteBytes(file, text.substr(0, text.size() / 2));
       return true;
     },
     "unexpected end of input"},
    {"AHundredThousandNestedArrays",
     [](const fs::path& file) {
       WriteBytes(file, NestedArrays(100000));
       return true;
     },
     "with array"},
    {"NoGeneral",
     [](const fs::path& file) {
       Json config = BaselineConfig();
       config.erase("General");
       WriteBytes(file, config.dump());
       return true;
     },
     "cannot use value() with null"},
};

class RefusedConfig : public LoadedStory, public ::testing::WithParamInterface<RefusedFile> {
 protected:
  void SetUp() override {
    LoadedStory::SetUp();
    if (!GetParam().make(ConfigFile())) {
      GTEST_SKIP() << GetParam().name << " cannot be made here: running as root, whom "
                   << "permissions do not stop reading";
    }
  }

  // Whatever the test made of it, the file is an ordinary one again.
  void PutGoodFileBack() {
    fs::remove_all(ConfigFile());
    WriteStoryConfig();
  }

  // The error lines that give the reason; a file that cannot be opened adds
  // one more, with its full path, which this checks and leaves out.
  std::vector<std::string> ReasonLines() const {
    std::vector<std::string> lines = PluginLogLines(spdlog::level::err);
    const std::string path_line = "The configuration is read from " + ConfigFile().string();
    const auto path = std::find(lines.begin(), lines.end(), path_line);
    EXPECT_EQ(path != lines.end(), std::string(GetParam().error) == "Can't open config.json");
    if (path != lines.end()) {
      lines.erase(path);
    }
    return lines;
  }
};

TEST_P(RefusedConfig, AReloadSaysWhyKeepsThePreviousConfigAndTheServerGoesOn) {
  const std::string why = GetParam().error;
  EXPECT_EQ(ConsoleReload(), u"Failed to reload config");
  // Once from the read, once from the command.
  EXPECT_THAT(ReasonLines(), SizeIs(2));
  EXPECT_THAT(ReasonLines(), Each(HasSubstr(why)));
  // Whatever bytes the file holds, the log's lines are text.
  EXPECT_THAT(PluginLogLines(spdlog::level::err), Each(Truly(IsUtf8)));

  const std::u16string reply = RconReload();
  EXPECT_THAT(std::string(reply.begin(), reply.end()), HasSubstr(why));

  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/3\nTotal: 2/100");
  ExpectStartingLimitsHold();
  Tally("hostile_files", 1);
}

TEST_P(RefusedConfig, ALoadFailsWithTheReasonLeavingNothingRegisteredAndTheNextLoadWorks) {
  UnloadPlugin();
  server().ClearLog();
  EXPECT_FALSE(LoadPlugin());
  EXPECT_EQ(server().Commands().Count(), 0U);
  EXPECT_EQ(server().Hooks().Count(), 0U);
  EXPECT_THAT(ReasonLines(), SizeIs(2));
  EXPECT_THAT(ReasonLines(), Each(HasSubstr(GetParam().error)));

  PutGoodFileBack();
  ASSERT_TRUE(LoadPlugin());
  ExpectStartingLimitsHold();
}

INSTANTIATE_TEST_SUITE_P(HostileFiles, RefusedConfig, ::testing::ValuesIn(kRefusedFiles),
                         [](const ::testing::TestParamInfo<RefusedFile>& file) {
                           return std::string(file.param.name);
                         });

class AcceptedConfig : public LoadedStory {
 protected:
  // The starting configuration with a wall limit of 2: Alice, who owns two,
  // may build no more walls once it is in force.
  static Json WallsLimitedToTwo() {
    Json config = BaselineConfig();
    config["Structures"]["Blueprint'/Game/Structures/Wall.Wall'"]["Count"] = 2;
    return config;
  }

  void ExpectWallsLimitedToTwo() {
    EXPECT_EQ(server().Place(alice_, kWall).refused_by, standin::RefusedBy::kPlugin);
    EXPECT_NE(server().Place(alice_, kCeiling).actor, nullptr);
  }
};

TEST_F(AcceptedConfig, AByteOrderMarkAsWindowsEditorsWriteItIsRead) {
  WriteBytes(ConfigFile(), "\xEF\xBB\xBF" + WallsLimitedToTwo().dump(2));
  EXPECT_EQ(ConsoleReload(), u"Reloaded config");
  ExpectWallsLimitedToTwo();
  Tally("hostile_files", 1);
}

TEST_F(AcceptedConfig, FiftyMegabytesOfValidJsonAreReadAndTheirLimitsHold) {
  // Members the plug-in does not know are ignored, however large.
  constexpr std::size_t kSize = std::size_t{50} * 1024 * 1024;
  const std::string line = "\"" + std::string(120, 'n') + "\",";
  std::string notes = "[";
  notes.reserve(kSize + line.size());
  while (notes.size() < kSize) {
    notes += line;
  }
  notes.back() = ']';
  WriteBytes(ConfigFile(), WithRawMember(WallsLimitedToTwo(), "Notes", notes));
  EXPECT_EQ(RconReload(), u"Reloaded config");
  ExpectWallsLimitedToTwo();
  Tally("hostile_files", 1);
}

TEST_F(AcceptedConfig, AHundredThousandNestedArraysInAMemberNobodyReadsAreReadAndReplaced) {
  WriteBytes(ConfigFile(), WithRawMember(WallsLimitedToTwo(), "Notes", NestedArrays(100000)));
  EXPECT_EQ(ConsoleReload(), u"Reloaded config");
  ExpectWallsLimitedToTwo();
  // The nested document goes out of force as any other does.
  WriteStoryConfig();
  EXPECT_EQ(RconReload(), u"Reloaded config");
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/3\nTotal: 3/100");
  Tally("hostile_files", 1);
}

TEST_F(AcceptedConfig, ADocumentTheWorldCannotBeCountedByIsReadButDoesNotStayInForce) {
  // Read without fault, but "Structures" has no member names to count by.
  WriteBytes(ConfigFile(), WithRawMember(WallsLimitedToTwo(), "Structures", NestedArrays(100000)));

  const std::u16string reply = RconReload();
  EXPECT_THAT(std::string(reply.begin(), reply.end()),
              HasSubstr("cannot use key() for non-object iterators"));
  ConsoleReload();
  EXPECT_THAT(PluginLogLines(spdlog::level::err),
              Each(HasSubstr("cannot use key() for non-object iterators")));
  EXPECT_EQ(LimitsShownToAlice(), u"Foundation: 0/10\nWall: 2/3\nTotal: 2/100");
  ExpectStartingLimitsHold();
  Tally("hostile_files", 1);
}

}  // namespace
}  // namespace cairnward::testing
