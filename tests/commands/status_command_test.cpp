#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::MatchesRegex;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

constexpr const char* kMoment = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} UTC";

// Team 2001 within its limits, 2002 above the wall limit of 3, 2003 above a
// total of its own that flags nothing; a zero total asked for by a lookup.
class StatusCommand : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    Config()["Teams"]["2003"]["MaxAmount"] = 1;
    Configure();
    Spawn(kWall, 2001, 2);
    Spawn(kWall, 2002, 4);
    Spawn(kFoundation, 2003, 2);
    AttachPlugin();
    Recount();
    (void)TeamTotals()[2004];
  }
};

TEST_F(StatusCommand, ItNamesTheConfigTheCountsTheLastRecountAndTheCluster) {
  const auto replies = server().Rcon(u"cairnward.status");
  ASSERT_EQ(replies.size(), 1U);
  const std::vector<std::string> lines = Lines(Narrow(replies[0].text));
  ASSERT_EQ(lines.size(), 4U) << Narrow(replies[0].text);
  EXPECT_THAT(lines[0], StartsWith("Config: " + ConfigFile().string() + ", loaded "));
  EXPECT_THAT(lines[0], MatchesRegex(std::string(".*loaded ") + kMoment));
  EXPECT_EQ(lines[1], "Counts: 3 teams, 8 structures; teams over a limit: 2");
  EXPECT_THAT(lines[2],
              MatchesRegex(std::string("Last recount: ") + kMoment + ", took [0-9.]+ (us|ms|s)"));
  EXPECT_EQ(lines[3], "Cluster: not configured");

  auto* admin = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
  EXPECT_TRUE(server().Console(admin, u"cairnward.status"));
  ASSERT_EQ(Received(admin).size(), 1U);
  EXPECT_EQ(Received(admin)[0].text, replies[0].text);
}

}  // namespace
}  // namespace cairnward::testing
