#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

class World;

// What a generated world holds. The same shape and seed always give the same
// world, actor for actor.
struct WorldShape {
  std::uint64_t seed = 1;
  std::int32_t actors = 0;             // every actor of the persistent level
  std::int32_t structures = 0;         // of those, structures; the rest are creatures
  std::int32_t structure_classes = 1;  // structure blueprints, each with at least one structure
  std::int32_t teams = 1;              // distinct team ids above 1000
  // Share of the structures owned by teams of 1000 or less (0, or 1 to 1000).
  double uncounted_share = 0.0;
};

struct GeneratedWorld {
  // Object paths of the structure blueprints ("/Game/...Name.Name"), in class order.
  std::vector<std::string> structure_classes;
  // The team ids above 1000, in the order they were drawn.
  std::vector<std::int32_t> teams;
};

// Spawns a world of that shape into the level of `world`: structures of uniformly drawn classes and
// teams, creatures in between, in a shuffled order as a long-running server's save has them.
GeneratedWorld GenerateWorld(World& world, const WorldShape& shape);

}  // namespace standin
