#include <new>

#include "host/blueprint_path.h"
#include "standin/memory.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

std::u16string FromFullName(std::u16string_view full_name) {
  return std::u16string(BlueprintPathFromFullName(full_name).View());
}

// A server is there for the FString blocks and the game objects.
class BlueprintPaths : public PluginTest {};

TEST_F(BlueprintPaths, TheThreeShapesOfFullName) {
  EXPECT_EQ(FromFullName(u"Foo_C /Game/X/Foo.Default__Foo_C"), u"Blueprint'/Game/X/Foo.Foo'");
  EXPECT_EQ(FromFullName(u"Cls /Script/Mod.Default__Cls"), u"Blueprint'/Script/Mod.Cls'");
  EXPECT_EQ(FromFullName(u"A B_C"), u"Blueprint'B'");
}

TEST_F(BlueprintPaths, EdgesOfTheFullName) {
  EXPECT_EQ(FromFullName(u"Trailing "), u"Blueprint''");
  EXPECT_EQ(BlueprintPathFromFullName(u"NoSpaceAtAll").Num(), 0);
  EXPECT_EQ(FromFullName(u"Default__Cls /Game/X/Y.Y"), u"Blueprint'/Game/X/Y.Y'");
  EXPECT_EQ(FromFullName(u"A B C_C"), u"Blueprint'B C'");
  EXPECT_EQ(FromFullName(u"A /Game/Wall_c"), u"Blueprint'/Game/Wall_c'");
  EXPECT_EQ(FromFullName(u"A /Game/Wall_C.Wall_C"), u"Blueprint'/Game/Wall_C.Wall'");
  EXPECT_EQ(FromFullName(u"A /Game/Default__X.Default__X_C"), u"Blueprint'/Game/X.X'");
  EXPECT_EQ(FromFullName(u"A /Game/default__X"), u"Blueprint'/Game/default__X'");
  // One pass: what a removal joins together stays.
  EXPECT_EQ(FromFullName(u"A DefaDefault__ult__"), u"Blueprint'Default__'");
}

TEST_F(BlueprintPaths, OfGameObjects) {
  standin::SimActor* wall = Spawn(kWall, 1001)[0];
  EXPECT_EQ(BlueprintPathOf(standin::AsGame<AActor>(wall)).View(), BlueprintPath16(kWall));
  EXPECT_EQ(BlueprintPathOf(standin::AsGame<UObject>(wall->cls->default_object)).View(),
            BlueprintPath16(kWall));
  standin::SimClass* cls = world().MakeClass(u"M\u00fcr_C", world().StructureClass(),
                                             u"M\u00fcr_C /G/M\u00fcr.M\u00fcr_C");
  EXPECT_EQ(BlueprintPathOf(standin::AsGame<AActor>(world().SpawnActor(cls, 1001))).View(),
            u"Blueprint'/G/M\u00fcr.M\u00fcr'");
}

TEST_F(BlueprintPaths, NothingToNameGivesAnEmptyPath) {
  EXPECT_EQ(BlueprintPathOf(nullptr).Num(), 0);
  standin::SimActor* classless = Spawn(kWall, 1001)[0];
  classless->cls = nullptr;
  EXPECT_EQ(BlueprintPathOf(standin::AsGame<AActor>(classless)).Num(), 0);
  standin::SimClass* odd = world().MakeClass(u"Odd", world().StructureClass(), u"OddWithoutSpace");
  EXPECT_EQ(BlueprintPathOf(standin::AsGame<AActor>(world().SpawnActor(odd, 1001))).Num(), 0);
}

TEST_F(BlueprintPaths, TheGamesFullNameIsReleasedWhicheverAllocationFails) {
  standin::SimActor* wall = Spawn(kWall, 1001)[0];
  std::uint64_t failed = 0;
  for (;; ++failed) {
    const std::size_t live = standin::Memory().live_blocks;
    standin::FailAllocations(failed, 1);
    try {
      EXPECT_EQ(BlueprintPathOf(standin::AsGame<AActor>(wall)).View(), BlueprintPath16(kWall));
      break;
    } catch (const std::bad_alloc&) {
      EXPECT_EQ(standin::Memory().live_blocks, live) << "allocation " << failed << " failed";
    }
  }
  standin::FailAllocations(0, 0);
  EXPECT_GE(failed, 2U) << "the full name and the path were both failed once";
}

}  // namespace
}  // namespace cairnward::testing
