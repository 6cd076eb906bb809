#include <gtest/gtest.h>

#include "api/fstring.h"
#include "standin/memory.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

class FStringRules : public PluginTest {};

TEST_F(FStringRules, EmptyTextHasNoBlockAndReadsAsEmpty) {
  const FString empty(u"");
  EXPECT_EQ(empty.Num(), 0);
  EXPECT_EQ(empty.Max(), 0);
  EXPECT_EQ(std::u16string_view(*empty), u"");
  EXPECT_TRUE(empty.IsEmpty());
}

TEST_F(FStringRules, CountIncludesTheNulAndCapacityFollowsTheGameRule) {
  const FString small(u"abc");
  EXPECT_EQ(small.Num(), 4);
  EXPECT_EQ(small.Max(), 4);  // a small first block
  const FString longer(u"Blueprint'/Game/X/Foo.Foo'");
  EXPECT_EQ(longer.Num(), 27);
  EXPECT_EQ(longer.Max(), 27 + 27 * 3 / 8 + 16);
  FString grown(u"abc");
  grown.Append(u"de");
  EXPECT_EQ(grown.Num(), 6);
  EXPECT_EQ(grown.Max(), 6 + 6 * 3 / 8 + 16);
  EXPECT_EQ(grown.View(), u"abcde");
}

TEST_F(FStringRules, ACopyTakesExactlyItsCount) {
  const FString original(u"Blueprint'/Game/X/Foo.Foo'");
  const FString copy(original);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.Num(), original.Num());
  EXPECT_EQ(copy.Max(), original.Num());
  EXPECT_EQ(copy.View(), original.View());
}

TEST_F(FStringRules, EveryBlockComesFromAndReturnsToFMemory) {
  const auto before = standin::Memory();
  {
    FString text(u"hello");
    text.Append(u" world, a longer tail");
    FString moved(std::move(text));
    FString assigned;
    assigned = moved;
    EXPECT_EQ(standin::Memory().live_blocks, before.live_blocks + 2);
  }
  EXPECT_EQ(standin::Memory().live_blocks, before.live_blocks);
  EXPECT_GT(standin::Memory().allocations, before.allocations);
}

TEST_F(FStringRules, AFailedAllocationThrowsAndLeaksNothing) {
  standin::FailAllocations(0, 1);
  EXPECT_THROW(FString(u"no room"), std::bad_alloc);
  standin::FailAllocations(0, 0);
}

}  // namespace
}  // namespace cairnward::testing
