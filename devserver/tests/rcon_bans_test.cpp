#include "rcon_bans.h"

#include <gtest/gtest.h>

namespace devserver::rcon {
namespace {

using namespace std::chrono_literals;

TEST(RconBans, FailuresWithinTheWindowBanTheAddressForTheBanTime) {
  Bans bans(3, 30s, 600s);
  const Bans::Clock::time_point t0{};
  EXPECT_FALSE(bans.Fail("10.0.0.1", t0));
  EXPECT_FALSE(bans.Fail("10.0.0.1", t0 + 20s));
  // The first has left the window by now: two count, not three.
  EXPECT_FALSE(bans.Fail("10.0.0.1", t0 + 31s));
  EXPECT_FALSE(bans.Fail("10.0.0.2", t0 + 32s));
  EXPECT_EQ(bans.Remaining("10.0.0.1", t0 + 32s), 0s);

  EXPECT_TRUE(bans.Fail("10.0.0.1", t0 + 40s));
  EXPECT_EQ(bans.Remaining("10.0.0.1", t0 + 41s), 599s);
  EXPECT_EQ(bans.Remaining("10.0.0.2", t0 + 41s), 0s);
  EXPECT_EQ(bans.Remaining("10.0.0.1", t0 + 640s), 0s);
  // After the ban the count starts afresh.
  EXPECT_FALSE(bans.Fail("10.0.0.1", t0 + 641s));
}

TEST(RconBans, ManyAddressesAreForgottenOnceTheirFailuresAreOver) {
  Bans bans(2, 30s, 60s);
  const Bans::Clock::time_point t0{};
  for (std::size_t i = 0; i < Bans::kMaxAddresses; ++i) {
    bans.Fail(std::to_string(i), t0);
  }
  // Full: a new address is not counted while the others' failures count...
  EXPECT_FALSE(bans.Fail("new", t0 + 1s));
  EXPECT_FALSE(bans.Fail("new", t0 + 2s));
  // ...and is once they are over.
  EXPECT_FALSE(bans.Fail("new", t0 + 31s));
  EXPECT_TRUE(bans.Fail("new", t0 + 32s));
}

}  // namespace
}  // namespace devserver::rcon
