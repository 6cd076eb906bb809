#pragma once

#include <gtest/gtest.h>

namespace cairnward::testing {

// One figure of docs/reliability.md, recorded with the test's result:
// scripts/reliability adds up what every test recorded under the name.
inline void Tally(const char* figure, int count) {
  ::testing::Test::RecordProperty(figure, count);
}

}  // namespace cairnward::testing
