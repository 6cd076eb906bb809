#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/flat_hash_map.h"

namespace cairnward::testing {
namespace {

template <typename Map>
std::map<std::int32_t, std::int32_t> Contents(const Map& map) {
  std::map<std::int32_t, std::int32_t> contents;
  for (const auto& [key, value] : map) {
    EXPECT_TRUE(contents.emplace(key, value).second) << "key " << key << " seen twice";
  }
  return contents;
}

// Keys from a narrow range collide and erase from the middle of runs; the
// extremes test the hash of the sign bit.
TEST(FlatHashMap, AgreesWithUnorderedMapUnderRandomUse) {
  std::mt19937 random(7);
  const std::vector<std::int32_t> extremes = {INT_MIN, INT_MIN + 1, -1, 0, 1, 1000, 1001, INT_MAX};
  const auto key = [&] {
    return random() % 8 == 0 ? extremes[random() % extremes.size()]
                             : static_cast<std::int32_t>(random() % 300) - 100;
  };
  FlatHashMap<std::int32_t, std::int32_t> flat;
  std::unordered_map<std::int32_t, std::int32_t> reference;
  for (int step = 0; step < 40000; ++step) {
    const std::int32_t k = key();
    switch (random() % 8) {
      case 0:
      case 1:
        EXPECT_EQ(flat.erase(k), reference.erase(k));
        break;
      case 2:
        EXPECT_EQ(flat.count(k), reference.count(k));
        EXPECT_EQ(flat.find(k) == flat.end(), reference.find(k) == reference.end());
        break;
      case 3:
        if (reference.count(k) != 0) {
          EXPECT_EQ(flat.at(k), reference.at(k));
        } else {
          EXPECT_THROW(static_cast<void>(flat.at(k)), std::out_of_range);
        }
        break;
      default:
        flat[k] += step;
        reference[k] += step;
    }
    if (step % 9973 == 9972) {
      flat.clear();
      reference.clear();
    }
    if (step % 1000 == 0) {
      ASSERT_EQ(flat.size(), reference.size());
      ASSERT_EQ(Contents(flat), Contents(reference)) << "after step " << step;
    }
  }
  EXPECT_EQ(Contents(flat), Contents(reference));
}

TEST(FlatHashMap, EntriesThatOwnMemoryMoveWithGrowthAndErase) {
  std::vector<int> owners(500);
  FlatHashMap<const int*, std::string> names;
  for (std::size_t i = 0; i < owners.size(); ++i) {
    names[&owners[i]] = "owner number " + std::to_string(i);
  }
  for (std::size_t i = 0; i < owners.size(); i += 2) {
    EXPECT_EQ(names.erase(&owners[i]), 1U);
  }
  ASSERT_EQ(names.size(), owners.size() / 2);
  for (std::size_t i = 0; i < owners.size(); ++i) {
    const auto found = names.find(&owners[i]);
    if (i % 2 == 0) {
      EXPECT_EQ(found, names.end());
    } else {
      ASSERT_NE(found, names.end());
      EXPECT_EQ(found->second, "owner number " + std::to_string(i));
    }
  }
  const auto [at, fresh] = names.try_emplace(&owners[1]);
  EXPECT_FALSE(fresh);
  EXPECT_EQ(at->second, "owner number 1");
}

}  // namespace
}  // namespace cairnward::testing
