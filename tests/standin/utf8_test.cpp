#include <gtest/gtest.h>

#include "standin/utf8.h"

namespace standin {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::string text = "Wall \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8F\xB0";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"Wall \u00e9t\u00e9 \u20ac \U0001F3F0");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");                      // cut short
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace standin
