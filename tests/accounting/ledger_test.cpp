#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "accounting/ledger.h"
#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAreArray;

class LedgerIndex : public PluginTest {};

// Keys around every edge of the case folding and of the four-unit steps:
// the neighbours of A and Z, letters beyond ASCII, lengths on both sides
// of a multiple of four, and NULs inside.
const std::vector<std::u16string> kKeys = {
    u"Blueprint'/Game/Wall.Wall'",
    u"Blueprint'/Game/Wall.Wall2'",
    u"Blueprint'/Game/@[`{.Z'",
    u"AZaz@[`{\u00c0\u00e0AZaz",
    u"Blueprint'/Game/\u00c4\u00e4.X'",
    u"ABCD",
    u"ABCDE",
    u"abc",
    u"Za",
    std::u16string(u"Door\0Hidden", 11),
    std::u16string(u"Gate\0", 5),
};

std::u16string Scrambled(const std::u16string& text, std::mt19937& random) {
  std::u16string out = text;
  for (char16_t& unit : out) {
    if (random() % 2 == 0 && ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z'))) {
      unit = static_cast<char16_t>(unit ^ 0x20U);
    }
  }
  switch (random() % 5) {
    case 0:
      out += std::u16string(u"\0tail", 5);
      break;
    case 1:
      out.pop_back();
      break;
    case 2:
      out[random() % out.size()] ^= 0x40U;  // "a" to "!", "Z" to "\x1a", ...
      break;
    default:
      break;
  }
  return out;
}

// The hash lookup must find exactly what the ledger's ordering calls equal.
TEST_F(LedgerIndex, FindsWhatTheOrderingCallsEqualAndNothingElse) {
  std::vector<FString> keys;
  for (auto it = kKeys.rbegin(); it != kKeys.rend(); ++it) {
    keys.emplace_back(*it);
  }
  keys.emplace_back(u"blueprint'/game/WALL.wall'");  // the same key as the first
  Ledger ledger;
  ledger.Assign(std::move(keys));
  ASSERT_EQ(ledger.size(), kKeys.size());

  std::mt19937 random(11);
  for (int round = 0; round < 4000; ++round) {
    const std::u16string probe = Scrambled(kKeys[random() % kKeys.size()], random);
    const FString* equal = nullptr;
    for (const auto& [key, counts] : ledger) {
      if (BlueprintPathLess::Compare(key.View(), probe) == 0) {
        equal = &key;
      }
    }
    const auto found = ledger.find(probe);
    if (equal == nullptr) {
      EXPECT_EQ(found, ledger.end());
    } else {
      ASSERT_NE(found, ledger.end());
      EXPECT_EQ(&found->first, equal);
    }
  }
}

TEST_F(LedgerIndex, IteratesInTheOrderingWhateverTheOrderOfAdding) {
  std::vector<std::u16string> keys = kKeys;
  std::mt19937 random(3);
  std::shuffle(keys.begin(), keys.end(), random);
  Ledger ledger;
  ledger.Assign({keys.begin(), keys.end()});
  std::sort(keys.begin(), keys.end(), [](const std::u16string& a, const std::u16string& b) {
    return BlueprintPathLess::Compare(a, b) < 0;
  });
  std::vector<std::u16string> walked;
  for (const auto& [key, counts] : ledger) {
    walked.emplace_back(key.View());
  }
  EXPECT_THAT(walked, ElementsAreArray(keys));
}

}  // namespace
}  // namespace cairnward::testing
