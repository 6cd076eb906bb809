#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "api/game_members.h"
#include "standin/world_generator.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

struct Census {
  int actors = 0;
  int structures = 0;
  int uncounted = 0;  // structures of teams up to 1000
  std::set<const standin::SimClass*> classes;
  std::set<std::int32_t> teams;  // above 1000, of structures
  std::vector<std::pair<const standin::SimClass*, std::int32_t>> sequence;
};

class WorldGenerator : public PluginTest {
 protected:
  Census Take() {
    Census census;
    for (const AActor* slot : world().Level()->slots) {
      const auto* actor = reinterpret_cast<const standin::SimActor*>(slot);
      ++census.actors;
      census.sequence.emplace_back(actor->cls, actor->targeting_team);
      if ((actor->kinds & standin::kStructure) == 0) {
        continue;
      }
      ++census.structures;
      census.classes.insert(actor->cls);
      if (actor->targeting_team <= 1000) {
        ++census.uncounted;
      } else {
        census.teams.insert(actor->targeting_team);
      }
    }
    return census;
  }
};

standin::WorldShape Shape(std::uint64_t seed) {
  standin::WorldShape shape;
  shape.seed = seed;
  shape.actors = 20000;
  shape.structures = 14000;
  shape.structure_classes = 100;
  shape.teams = 400;
  shape.uncounted_share = 0.05;
  return shape;
}

TEST_F(WorldGenerator, MakesTheWorldOfItsShape) {
  const standin::GeneratedWorld made = standin::GenerateWorld(world(), Shape(1));
  const Census census = Take();
  EXPECT_EQ(census.actors, 20000);
  EXPECT_EQ(census.structures, 14000);
  EXPECT_EQ(census.classes.size(), 100U) << "every class occurs";
  EXPECT_EQ(made.structure_classes.size(), 100U);
  EXPECT_EQ(made.teams.size(), 400U);
  EXPECT_EQ(census.teams, std::set<std::int32_t>(made.teams.begin(), made.teams.end()));
  EXPECT_NEAR(census.uncounted, 700, 100) << "5% of the structures";
}

TEST_F(WorldGenerator, TheSameSeedMakesTheSameWorld) {
  const standin::GeneratedWorld first = standin::GenerateWorld(world(), Shape(5));
  const standin::GeneratedWorld second = standin::GenerateWorld(world(), Shape(5));
  const standin::GeneratedWorld other = standin::GenerateWorld(world(), Shape(6));
  EXPECT_EQ(second.teams, first.teams);
  EXPECT_NE(other.teams, first.teams);
  const auto sequence = Take().sequence;
  ASSERT_EQ(sequence.size(), 60000U);
  const auto world_at = [&](std::ptrdiff_t n) {
    return std::vector(sequence.begin() + n * 20000, sequence.begin() + (n + 1) * 20000);
  };
  EXPECT_EQ(world_at(1), world_at(0)) << "actor for actor";
  EXPECT_NE(world_at(2), world_at(0));
}

}  // namespace
}  // namespace cairnward::testing
