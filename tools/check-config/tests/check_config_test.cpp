#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "check.h"
#include "config/config.h"
#include "report.h"

namespace checkconfig {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Key;
using ::testing::Optional;
using ::testing::UnorderedElementsAre;
using Json = nlohmann::json;

constexpr const char* kExample =
    CAIRNWARD_SOURCE_DIR "/examples/server/AtlasApi/Plugins/Cairnward/config.json";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

Json Example() {
  return Json::parse(ReadFile(kExample));
}

std::vector<Problem> Check(const Json& config) {
  return CheckConfigText(config.dump(2));
}

auto Is(Severity severity, const std::string& pointer, const std::string& words = "") {
  return AllOf(Field(&Problem::severity, severity), Field(&Problem::pointer, pointer),
               Field(&Problem::message, HasSubstr(words)));
}

// Whether a load takes the text, by the plug-in's own routine.
bool LoadTakes(const std::string& text) {
  std::istringstream in(text);
  try {
    (void)cairnward::ParseConfig(in);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

TEST(Positions, LinesAndColumnsCountCharactersNotBytes) {
  const std::string text = "{\n  \"\xC3\xA4\xC3\xA4\": 1,\n  \"b\": 2\n}";
  const SourceMap map = MapSource(text, 4);
  ASSERT_EQ(map.members.count("/\xC3\xA4\xC3\xA4"), 1U);
  const LineColumn a = PositionOf(text, map.members.at("/\xC3\xA4\xC3\xA4"));
  EXPECT_EQ(a.line, 2U);
  EXPECT_EQ(a.column, 3U);
  const LineColumn after = PositionOf(text, text.find(": 1") + 2);
  EXPECT_EQ(after.column, 9U) << "two two-byte characters count as two columns";
}

TEST(Positions, MembersAreFoundBehindEscapedQuotesAndInsideArrays) {
  const std::string text = R"({"a\"b": {"c/d~e": [0, {"f": 1}]}, "g": 2, "g": 3})";
  const SourceMap map = MapSource(text, 4);
  EXPECT_EQ(map.members.at("/a\"b"), 1U);
  EXPECT_EQ(map.members.at("/a\"b/c~1d~0e"), text.find("\"c/d"));
  EXPECT_EQ(map.members.at("/a\"b/c~1d~0e/1/f"), text.find("\"f\""));
  ASSERT_EQ(map.duplicates.size(), 1U);
  EXPECT_EQ(map.duplicates[0].pointer, "/g");
  EXPECT_EQ(map.duplicates[0].first_offset, text.find("\"g\""));
  EXPECT_EQ(map.members.at("/g"), text.rfind("\"g\""));
}

TEST(Positions, MembersDeeperThanAskedAreParsedButNotNoted) {
  const std::string text = R"({"a": {"b": {"c": 1, "c": 2}}, "d": [{"e": )";
  const SourceMap map = MapSource(text, 2);
  EXPECT_THAT(map.members, ElementsAre(Key("/a"), Key("/a/b"), Key("/d")));
  EXPECT_THAT(map.duplicates, IsEmpty());
  EXPECT_EQ(map.failure_pointer, "/d/0");
}

TEST(Syntax, BrokenJsonIsOneErrorWhereTheParserStopped) {
  const auto problems = CheckConfigText("{\n  \"General\": {\n    \"MaxAmount\": 10,,\n");
  ASSERT_EQ(problems.size(), 1U);
  EXPECT_THAT(problems[0], Is(Severity::kError, "/General/MaxAmount", "valid JSON"));
  EXPECT_THAT(problems[0].message, HasSubstr("parse error at line 3, column 21"));
  EXPECT_THAT(problems[0].position,
              Optional(AllOf(Field(&LineColumn::line, 3U), Field(&LineColumn::column, 21U))));
  EXPECT_THAT(CheckConfigText(""), ElementsAre(Is(Severity::kError, "", "valid JSON")));
  EXPECT_THAT(CheckConfigText("{} // note"), ElementsAre(Is(Severity::kError, "", "JSON")));
}

TEST(Syntax, EveryErrorOfTheParserIsAReadableFinding) {
  const std::string text = "{\"General\": {\"MaxAmount\": -1e400}}";
  const auto problems = CheckConfigText(text);
  EXPECT_THAT(problems, ElementsAre(Is(Severity::kError, "/General/MaxAmount",
                                       "number overflow parsing '-1e400'")));
  EXPECT_EQ(problems[0].position->column, text.find('-') + 1);
  const auto garbled = CheckConfigText("{\"Debug\": \"\xFF\"}");
  EXPECT_THAT(garbled, ElementsAre(Is(Severity::kError, "/Debug", "\xEF\xBF\xBD")));
  EXPECT_NO_THROW((void)JsonReport("c.json", garbled).dump());
}

TEST(Load, TheCheckerRefusesTheFileExactlyWhenALoadDoes) {
  const Json example = Example();
  std::vector<std::string> texts = {example.dump(), "[]", "null", "{}", "{\"General\": null}"};
  for (const Json& general : {Json(nullptr), Json::array(), Json(3), Json::object()}) {
    Json changed = example;
    changed["General"] = general;
    texts.push_back(changed.dump());
  }
  for (const Json& ignore : {Json(1), Json("true"), Json(nullptr), Json(true)}) {
    Json changed = example;
    changed["General"]["IgnoreAdmin"] = ignore;
    texts.push_back(changed.dump());
  }
  for (const std::string& text : texts) {
    const auto problems = CheckConfigText(text);
    const bool refused = std::any_of(problems.begin(), problems.end(), [](const Problem& p) {
      return p.severity == Severity::kError &&
             p.message.find("refuses the whole file") != std::string::npos;
    });
    EXPECT_EQ(refused, !LoadTakes(text)) << text;
  }
}

TEST(Load, TheExampleServerConfigHasNoProblem) {
  EXPECT_THAT(CheckConfigText(ReadFile(kExample)), IsEmpty());
}

TEST(Load, MissingFileIsTheLoadsOwnError) {
  const auto problems = CheckConfigFile(CAIRNWARD_SOURCE_DIR "/no-such-config.json");
  EXPECT_THAT(problems, ElementsAre(Is(Severity::kError, "", "Can't open config.json")));
  EXPECT_THAT(CheckConfigFile(CAIRNWARD_SOURCE_DIR),
              ElementsAre(Is(Severity::kError, "", "cannot be opened")));
}

TEST(Required, MissingMembersAreErrorsAtTheMemberPlacedAtItsParent) {
  Json config = Example();
  config["General"].erase("NotificationScale");
  config["Messages"]["NotificationColor"].erase("Blue");
  config["Messages"].erase("ShowLimitsType");
  const std::string text = config.dump(2);
  const auto problems = CheckConfigText(text);
  EXPECT_THAT(problems,
              ElementsAre(Is(Severity::kError, "/General/NotificationScale",
                             "type must be number, but is null"),
                          Is(Severity::kError, "/Messages/ShowLimitsType", "show-limits fails"),
                          Is(Severity::kError, "/Messages/NotificationColor/Blue")));
  EXPECT_EQ(problems[0].position->line, PositionOf(text, text.find("\"General\"")).line);
}

TEST(Required, MaxAmountAbsentRefusesEveryPlacementAndBreaksShowLimits) {
  Json config = Example();
  config["General"].erase("MaxAmount");
  EXPECT_THAT(Check(config), ElementsAre(Is(Severity::kError, "/General/MaxAmount",
                                            "every placement is refused")));
  for (const Json& none : {Json(0), Json(-5), Json(0.9)}) {
    config["General"]["MaxAmount"] = none;
    EXPECT_THAT(Check(config), Contains(Is(Severity::kWarning, "/General/MaxAmount",
                                           "every placement is refused")));
  }
}

TEST(Types, WrongTypesAreErrorsWithTheLibrarysOwnText) {
  Json config = Example();
  config["Debug"] = "yes";
  config["General"]["MaxAmount"] = "150";
  config["Messages"]["Sender"] = 5;
  config["Messages"]["NotificationColor"] = Json::array();
  EXPECT_THAT(
      Check(config),
      UnorderedElementsAre(
          Is(Severity::kError, "/Debug", "type must be boolean, but is string"),
          Is(Severity::kError, "/General/MaxAmount", "must be a whole number, but is a string"),
          Is(Severity::kError, "/Messages/Sender", "GetBp"),
          Is(Severity::kError, "/Messages/NotificationColor",
             "cannot use operator[] with a string argument with array")));
}

TEST(Structures, AbsentIsFineButAnArrayThatNamesSomethingBreaksTheRecount) {
  Json config = Example();
  config.erase("Structures");
  EXPECT_THAT(Check(config), IsEmpty());
  config["Structures"] = Json::array({1});
  EXPECT_THAT(Check(config), ElementsAre(Is(Severity::kError, "/Structures", "every recount")));
}

TEST(Structures, NamesThatDifferOnlyInCaseShareTheFirstNamesEntry) {
  Json config = Example();
  config["Structures"]["Blueprint'/Game/Structures/wall.wall'"] = {{"Count", 9}};
  EXPECT_THAT(
      Check(config),
      ElementsAre(Is(Severity::kWarning, "/Structures/Blueprint'~1Game~1Structures~1wall.wall'",
                     "only in letter case. The two share one count, kept under "
                     "\"Blueprint'/Game/Structures/Wall.Wall'\"")));
}

TEST(Templates, KeyedNotificationsGetNoArguments) {
  Json config = Example();
  config["Messages"]["ReachLimit"] = "You have {} walls";
  config["Messages"]["InvitingMergeFail"] = "a } b";
  config["Messages"]["InvitedMergeFail"] = "{{braces}} are fine";
  EXPECT_THAT(Check(config),
              UnorderedElementsAre(
                  Is(Severity::kError, "/Messages/ReachLimit", "argument not found"),
                  Is(Severity::kError, "/Messages/InvitingMergeFail", "formatter rejects")));
}

TEST(Templates, ShowLimitsLinesGetTheirArgumentsByTypeAndCount) {
  Json config = Example();
  config["Messages"]["ShowLimitMsg"] = "{}: {}/{} of {} in {}";
  config["Messages"]["TotalLimitMsg"] = "{0:d}";
  EXPECT_THAT(
      Check(config),
      UnorderedElementsAre(
          Is(Severity::kError, "/Messages/ShowLimitMsg", "argument not found"),
          Is(Severity::kWarning, "/Messages/TotalLimitMsg", "never shows {1} (MaxAmount)")));
  config["Messages"]["ShowLimitMsg"] = "{0:d}";
  config["Messages"]["TotalLimitMsg"] = "{1}: {0:>5}";
  EXPECT_THAT(Check(config), UnorderedElementsAre(Is(Severity::kError, "/Messages/ShowLimitMsg",
                                                     "formatter rejects")));
  config["Messages"]["ShowLimitMsg"] = "{2} {{}}";
  EXPECT_THAT(Check(config), UnorderedElementsAre(Is(Severity::kWarning, "/Messages/ShowLimitMsg",
                                                     "never shows {0} (the display name), {1}")));
}

TEST(Messages, AbsentTextsAndUnknownTypesAreWarnings) {
  Json config = Example();
  config["Messages"].erase("ShowLimitsCmd");
  config["Messages"].erase("Sender");
  config["Messages"]["ShowLimitsType"] = "chat";
  config["Messages"]["ReachLimit"] = std::string("cut\0off", 7);
  EXPECT_THAT(Check(config),
              UnorderedElementsAre(
                  Is(Severity::kWarning, "/Messages/ShowLimitsCmd", "\"No message\""),
                  Is(Severity::kWarning, "/Messages/Sender", "\"No message\""),
                  Is(Severity::kWarning, "/Messages/ReachLimit", "NUL"),
                  Is(Severity::kWarning, "/Messages/ShowLimitsType", "show-limits sends nothing")));
}

TEST(Members, UnknownMembersAreWarningsWithTheLikelyMeaning) {
  Json config = Example();
  config["General"]["maxAmount"] = 5;
  config["MaxAmount"] = 5;
  config["Structures"]["Blueprint'/Game/Structures/Wall.Wall'"]["Limit"] = 5;
  config["Messages"]["$schema"] = "x";
  EXPECT_THAT(Check(config),
              UnorderedElementsAre(
                  Is(Severity::kWarning, "/General/maxAmount",
                     "case-sensitive: did you mean \"MaxAmount\""),
                  Is(Severity::kWarning, "/MaxAmount", "\"/General/MaxAmount\""),
                  Is(Severity::kWarning,
                     "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'/Limit", "ignored"),
                  Is(Severity::kWarning, "/Messages/$schema", "ignored")));
}

TEST(Members, AMemberGivenTwiceIsAWarningAtTheFirst) {
  const auto problems = CheckConfigText(
      R"({"General": {"MaxAmount": 1, "MaxAmount": 2,
          "NotificationScale": 1, "NotificationDisplayTime": 1},
          "Messages": {"ShowLimitsCmd": "/l", "ReachLimit": "", "InvitingMergeFail": "",
          "InvitedMergeFail": "", "InvitingTribeFail": "", "InvitedPlayerFail": "",
          "ShowLimitMsg": "{}{}{}", "TotalLimitMsg": "{}{}", "Sender": "", "ShowLimitsType": "Chat",
          "NotificationColor": {"Red": 1, "Green": 1, "Blue": 1},
          "ShowLimitsScale": 1, "ShowLimitsDisplayTime": 1}})");
  ASSERT_THAT(problems, ElementsAre(Is(Severity::kWarning, "/General/MaxAmount", "uses the last")));
  EXPECT_EQ(problems[0].position->column, 14U);
}

TEST(Report, LinesLikeACompilersAndAnExitStatusThatWarningsPassUnlessStrict) {
  const std::vector<Problem> warning_only = {
      {Severity::kWarning, "/Debug", LineColumn{2, 3}, "/Debug w"}};
  const std::vector<Problem> with_error = {
      {Severity::kError, "", std::nullopt, "The file e"},
      {Severity::kWarning, "/Debug", LineColumn{2, 3}, "/Debug w"}};
  EXPECT_EQ(
      TextReport("c.json", with_error),
      "c.json: error: The file e\nc.json:2:3: warning: /Debug w\nc.json: 1 error, 1 warning\n");
  EXPECT_EQ(TextReport("c.json", {}), "c.json: no problems found\n");
  EXPECT_EQ(
      TextReport("c.json", {{Severity::kWarning, "/a", std::nullopt, std::string("a\0\nb", 4)}}),
      "c.json: warning: a\\u0000\\u000ab\nc.json: 0 errors, 1 warning\n");
  EXPECT_EQ(ExitStatus({}, true), 0);
  EXPECT_EQ(ExitStatus(warning_only, false), 0);
  EXPECT_EQ(ExitStatus(warning_only, true), 1);
  EXPECT_EQ(ExitStatus(with_error, false), 1);
  const Json report = JsonReport("c.json", with_error);
  EXPECT_EQ(report["errors"], 1);
  EXPECT_EQ(report["warnings"], 1);
  EXPECT_FALSE(report["problems"][0].contains("line"));
  EXPECT_EQ(report["problems"][1], Json({{"severity", "warning"},
                                         {"pointer", "/Debug"},
                                         {"line", 2},
                                         {"column", 3},
                                         {"message", "/Debug w"}}));
}

}  // namespace
}  // namespace checkconfig
