#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/debug_trace.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DebugSwitch : public DirectStory {};

TEST_F(DebugSwitch, TraceLinesAreWrittenOnlyWhileDebugIsTrue) {
  Config().erase("Debug");
  Configure();
  EXPECT_THAT(TraceOf([] { DebugTrace("| absent"); }), IsEmpty());
  Debug(false);
  Configure();
  EXPECT_THAT(TraceOf([] { DebugTrace("| off {}", 1); }), IsEmpty());
  Debug(true);
  Configure();
  EXPECT_THAT(TraceOf([] {
                DebugTrace("| on");
                DebugTrace("| value: {}", 42);
              }),
              ElementsAre("| on", "| value: 42"));
}

TEST_F(DebugSwitch, ADebugThatIsNoBooleanIsTheLibraryError) {
  Config()["Debug"] = 1;
  Configure();
  EXPECT_THROW(DebugTrace("| x"), Json::type_error);
}

}  // namespace
}  // namespace cairnward::testing
