#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check.h"
#include "near_miss.h"
#include "report.h"

// What the checker warns of beyond the plug-in's own failures, on the
// example with groups, a team of its own and a warning threshold.
namespace checkconfig {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Optional;
using Json = nlohmann::json;

constexpr const char* kWall = "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'";
constexpr const char* kCannonPath = "Blueprint'/Game/Structures/Cannon.Cannon'";

Json SharedLimits() {
  std::ifstream file(CAIRNWARD_SOURCE_DIR "/examples/configs/shared-limits.json");
  return Json::parse(file);
}

auto Is(Severity severity, const std::string& pointer, const std::string& words) {
  return AllOf(Field(&Problem::severity, severity), Field(&Problem::pointer, pointer),
               Field(&Problem::message, HasSubstr(words)));
}

struct Case {
  std::string name;
  std::vector<std::pair<std::string, Json>> set;
  std::vector<std::string> remove;
  Severity severity;
  std::string pointer;
  std::string words;
};

std::vector<Problem> CheckChanged(const Case& c) {
  Json config = SharedLimits();
  for (const auto& [pointer, value] : c.set) {
    config[Json::json_pointer(pointer)] = value;
  }
  for (const std::string& pointer : c.remove) {
    const Json::json_pointer at(pointer);
    config[at.parent_pointer()].erase(at.back());
  }
  return CheckConfigText(config.dump(2));
}

TEST(Warnings, EachIsToldAtItsMemberAndOnlyAnErrorFailsTheCheck) {
  const std::vector<Case> cases = {
      {"colour part out of 0 to 1",
       {{"/Messages/NotificationColor/Red", 255}},
       {},
       Severity::kWarning,
       "/Messages/NotificationColor/Red",
       "out of range: it should be from 0 to 1"},
      {"Count 0",
       {{std::string(kWall) + "/Count", 0}},
       {},
       Severity::kWarning,
       std::string(kWall) + "/Count",
       "is 0: every placement of this blueprint is refused"},
      {"Count below 0",
       {{std::string(kWall) + "/Count", -1}},
       {},
       Severity::kWarning,
       std::string(kWall) + "/Count",
       "every tribe merge and invitation is refused"},
      {"a group's Count 0",
       {{"/Groups/Turrets/Count", 0}},
       {},
       Severity::kWarning,
       "/Groups/Turrets/Count",
       "every placement of the group's blueprints is refused"},
      {"a group without members",
       {{"/Groups/Turrets/Blueprints", Json::array()}},
       {},
       Severity::kWarning,
       "/Groups/Turrets/Blueprints",
       "is empty: the group has no members"},
      {"a group without Blueprints",
       {},
       {"/Groups/Turrets/Blueprints"},
       Severity::kWarning,
       "/Groups/Turrets/Blueprints",
       "is missing: the group has no members"},
      {"a group member one letter off",
       {{"/Groups/Turrets/Blueprints/0", "Blueprint'/Game/Structures/Canon.Cannon'"}},
       {},
       Severity::kWarning,
       "/Groups/Turrets/Blueprints/0",
       "one edit away from \"" + std::string(kCannonPath) + "\""},
      {"two Teams keys naming one team",
       {{"/Teams/05003", {{"MaxAmount", 1}}}},
       {},
       Severity::kWarning,
       "/Teams/05003",
       "names team 5003, as \"5003\" does"},
      {"a Teams key beyond 32 bits",
       {{"/Teams/99999999999", Json::object()}},
       {},
       Severity::kWarning,
       "/Teams/99999999999",
       "is out of range for a team id (a whole number from -2147483648 to 2147483647)"},
      {"WarnAtPercent without NearLimitMsg",
       {},
       {"/Messages/NearLimitMsg"},
       Severity::kWarning,
       "/General/WarnAtPercent",
       "\"No message\""},
      {"a letter doubled",
       {{"/General/MaxAmmount", 5}},
       {},
       Severity::kWarning,
       "/General/MaxAmmount",
       "Did you mean \"MaxAmount\"?"},
      {"two letters swapped",
       {{std::string(kWall) + "/Cuont", 5}},
       {},
       Severity::kWarning,
       std::string(kWall) + "/Cuont",
       "Did you mean \"Count\"?"},
      {"a team's override of a group misspelt",
       {{"/Teams/5003/Groups/Turret", 5}},
       {},
       Severity::kWarning,
       "/Teams/5003/Groups/Turret",
       "Did you mean \"Turrets\"?"},
      {"a whole number beyond 32 bits",
       {{"/General/MaxAmount", 5000000000}},
       {},
       Severity::kWarning,
       "/General/MaxAmount",
       "out of range of a 32-bit whole number"},
      {"a whole number out of its range",
       {{"/Cluster", {{"Name", "c"}, {"Server", "A1"}, {"Port", 70000}}}},
       {},
       Severity::kError,
       "/Cluster/Port",
       "is 70000, out of range: it must be a whole number from 1 to 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto problems = CheckChanged(c);
    EXPECT_THAT(problems, Contains(Is(c.severity, c.pointer, c.words)));
    EXPECT_EQ(ExitStatus(problems, false), c.severity == Severity::kError ? 1 : 0);
  }
}

TEST(Warnings, GroupMembersThatDifferInCaseOrByMoreThanOneEditAreFine) {
  for (const std::string member :
       {"Blueprint'/Game/Structures/cannon.CANNON'", "Blueprint'/Game/Structures/Canon.Canon'"}) {
    const auto problems =
        CheckChanged({"", {{"/Groups/Turrets/Blueprints/0", member}}, {}, {}, "", ""});
    EXPECT_THAT(problems, IsEmpty()) << member;
  }
}

TEST(NearMiss, EditDistanceCountsSwapsAsOneAndStopsPastItsLimit) {
  EXPECT_THAT(EditDistanceWithin("maxammount", "maxamount", 2), Optional(1U));
  EXPECT_THAT(EditDistanceWithin("cuont", "count", 2), Optional(1U));
  EXPECT_THAT(EditDistanceWithin("abc", "abc", 0), Optional(0U));
  EXPECT_THAT(EditDistanceWithin("ab", "ba", 1), Optional(1U));
  EXPECT_EQ(EditDistanceWithin("kitten", "sitting", 2), std::nullopt);
  EXPECT_THAT(EditDistanceWithin("kitten", "sitting", 3), Optional(3U));
  EXPECT_EQ(EditDistanceWithin("", "abcd", 3), std::nullopt);
}

TEST(Reply, ALineTheTemplateCannotMakeIsToldAtTheTemplate) {
  Json config = SharedLimits();
  config["Messages"]["ShowLimitMsg"] = "{0:>{2}}\n";
  config[Json::json_pointer(std::string(kWall) + "/Count")] = -1;
  const std::string text = config.dump(2);
  const auto problems = CheckConfigText(text);
  const auto at_template = Is(Severity::kError, "/Messages/ShowLimitMsg", kWall);
  ASSERT_THAT(problems, Contains(at_template));
  EXPECT_THAT(problems, Not(Contains(Is(Severity::kError, kWall, ""))));
  const auto it = std::find_if(problems.begin(), problems.end(), [](const Problem& p) {
    return p.pointer == "/Messages/ShowLimitMsg";
  });
  const auto before = text.begin() + static_cast<std::ptrdiff_t>(text.find("\"ShowLimitMsg\""));
  EXPECT_EQ(it->position->line,
            static_cast<std::size_t>(std::count(text.begin(), before, '\n')) + 1);
}

TEST(Reply, GroupLinesCountTowardItsLength) {
  Json config = SharedLimits();
  config["Messages"]["ShowGroupMsg"] = "{0:>{2}}";
  config["Groups"]["Turrets"]["Count"] = 70000;
  EXPECT_THAT(CheckConfigText(config.dump(2)),
              Contains(Is(Severity::kError, "/Groups/Turrets", "a line it cannot make")));
  config["Groups"]["Turrets"]["Count"] = 35000;
  config["Groups"]["Walls"] = {{"Name", "Walls"}, {"Count", 35000}, {"Blueprints", Json::array()}};
  EXPECT_THAT(CheckConfigText(config.dump(2)),
              Contains(Is(Severity::kWarning, "/Structures", "and \"Groups\" 2 groups")));
  config["Messages"].erase("ShowGroupMsg");
  config["Messages"]["ShowLimitMsg"] = "{0:>{2}}{1}{3}";
  EXPECT_THAT(CheckConfigText(config.dump(2)),
              Contains(Is(Severity::kWarning, "/Structures", "passes 65536 characters")));
}

}  // namespace
}  // namespace checkconfig
