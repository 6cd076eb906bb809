#include "support/plugin_fixture.h"
#include "support/stdout_capture.h"

namespace cairnward::testing {
namespace {

using ::testing::Contains;
using ::testing::IsSupersetOf;
using ::testing::Not;

// The recount inside the loaded plug-in, reaching the game only by name.
class RecountInThePlugin : public PluginTest {};

TEST_F(RecountInThePlugin, LoadingOnARunningServerCountsTheWorldItFinds) {
  Debug(true);
  WriteStoryConfig();
  Spawn(kWall, 1001, 2);
  Spawn(kWall, 1000);
  Spawn(kCeiling, 1002);
  const auto trace = TraceOf([&] { ASSERT_TRUE(LoadPlugin()); });
  EXPECT_THAT(trace,
              IsSupersetOf({"| UpdateStructCountAll: count: 1", "| UpdateStructCountAll: count: 2",
                            "| UpdateStructCountAll: Structures Re-Calculating done!"}));
  EXPECT_THAT(trace, Not(Contains("| UpdateStructCountAll: team_id: 1000")));
  EXPECT_THAT(trace, Not(Contains("| UpdateStructCountAll: team_id: 1002")));
}

}  // namespace
}  // namespace cairnward::testing
