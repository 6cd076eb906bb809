#include "standin/world_generator.h"

#include <array>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "standin/world.h"

namespace standin {
namespace {

// SplitMix64: small, and the same sequence on every platform, which the
// standard library's distributions do not promise.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
  }

  // Below `bound`; the modulo bias is far below what a benchmark can see.
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }

  double Unit() { return static_cast<double>(Next() >> 11U) * 0x1.0p-53; }

 private:
  std::uint64_t state_;
};

// Paths as long as the game's own, sharing long prefixes as they do.
std::string StructurePath(std::int32_t index) {
  constexpr std::array<std::string_view, 8> kMaterials = {"Wood",  "Stone", "Metal", "Thatch",
                                                          "Adobe", "Brick", "Glass", "Fortified"};
  constexpr std::array<std::string_view, 16> kPieces = {
      "Wall",   "Foundation", "Ceiling", "Doorframe", "Door", "Window", "Ramp",   "Stairs",
      "Pillar", "Roof",       "Fence",   "Gateway",   "Gate", "Hatch",  "Ladder", "Railing"};
  const std::string name = "PrimalStructure_" + std::string(kMaterials[index % 8]) +
                           std::string(kPieces[(index / 8) % 16]) + "_" + std::to_string(index);
  return "/Game/Atlas/Structures/Building/" + std::string(kMaterials[index % 8]) + "/" + name +
         "." + name;
}

std::string CreaturePath(std::int32_t index) {
  const std::string name = "Creature" + std::to_string(index) + "_Character_BP";
  return "/Game/Atlas/Creatures/" + name + "." + name;
}

std::vector<std::int32_t> DrawTeams(Random& random, std::int32_t count) {
  std::unordered_set<std::int32_t> seen;
  std::vector<std::int32_t> teams;
  teams.reserve(static_cast<std::size_t>(count));
  while (static_cast<std::int32_t>(teams.size()) < count) {
    const auto team = static_cast<std::int32_t>(1001 + random.Below(0x7FFFFFFFULL - 1001));
    if (seen.insert(team).second) {
      teams.push_back(team);
    }
  }
  return teams;
}

// Unowned structures, and teams the game keeps for itself.
std::int32_t UncountedTeam(Random& random) {
  return random.Below(2) == 0 ? 0 : static_cast<std::int32_t>(1 + random.Below(1000));
}

struct Spawn {
  SimClass* cls;
  std::int32_t team;
};

constexpr std::int32_t kCreatureClasses = 50;

std::vector<SimClass*> CreatureClasses(World& world) {
  std::vector<SimClass*> classes;
  classes.reserve(kCreatureClasses);
  for (std::int32_t i = 0; i < kCreatureClasses; ++i) {
    classes.push_back(world.BlueprintClass(CreaturePath(i), /*structure=*/false));
  }
  return classes;
}

// Structures first, then creatures, then shuffled: the draws come in this
// order so that a seed gives the same world every time.
std::vector<Spawn> DrawSpawns(Random& random, const WorldShape& shape,
                              const std::vector<SimClass*>& structure_classes,
                              const std::vector<SimClass*>& creature_classes,
                              const std::vector<std::int32_t>& teams) {
  std::vector<Spawn> spawns;
  spawns.reserve(static_cast<std::size_t>(shape.actors));
  for (std::int32_t i = 0; i < shape.structures; ++i) {
    // Every class first, so that each one occurs.
    SimClass* cls = i < shape.structure_classes
                        ? structure_classes[static_cast<std::size_t>(i)]
                        : structure_classes[random.Below(structure_classes.size())];
    const std::int32_t team = random.Unit() < shape.uncounted_share
                                  ? UncountedTeam(random)
                                  : teams[random.Below(teams.size())];
    spawns.push_back({cls, team});
  }
  for (std::int32_t i = shape.structures; i < shape.actors; ++i) {
    const bool tamed = random.Below(2) == 0;
    spawns.push_back({creature_classes[random.Below(creature_classes.size())],
                      tamed ? teams[random.Below(teams.size())] : 0});
  }
  for (std::size_t i = spawns.size(); i > 1; --i) {
    std::swap(spawns[i - 1], spawns[random.Below(i)]);
  }
  return spawns;
}

}  // namespace

GeneratedWorld GenerateWorld(World& world, const WorldShape& shape) {
  if (shape.structures > shape.actors || shape.structure_classes < 1 ||
      shape.structure_classes > shape.structures || shape.teams < 1) {
    throw std::invalid_argument("GenerateWorld: impossible world shape");
  }
  Random random(shape.seed);
  GeneratedWorld generated;
  generated.teams = DrawTeams(random, shape.teams);
  std::vector<SimClass*> structure_classes;
  for (std::int32_t i = 0; i < shape.structure_classes; ++i) {
    generated.structure_classes.push_back(StructurePath(i));
    structure_classes.push_back(world.BlueprintClass(generated.structure_classes.back()));
  }
  const std::vector<SimClass*> creature_classes = CreatureClasses(world);
  for (const Spawn& spawn :
       DrawSpawns(random, shape, structure_classes, creature_classes, generated.teams)) {
    world.SpawnActor(spawn.cls, spawn.team);
  }
  return generated;
}

}  // namespace standin
