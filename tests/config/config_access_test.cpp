#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "config/json_access.h"

namespace cairnward {
namespace {

using ::testing::HasSubstr;

Json Doc(const char* text) {
  return Json::parse(text);
}

// Runs `read` and answers the JSON library's error text, or "" when it passed.
template <typename Fn>
std::string ErrorOf(Fn read) {
  try {
    read();
  } catch (const Json::exception& e) {
    return e.what();
  }
  return "";
}

TEST(WithDefault, AbsentMemberGivesTheDefault) {
  const Json doc = Doc(R"({"General": {}})");
  EXPECT_FALSE(ValueOr(doc, "Debug", false));
  EXPECT_EQ(ValueOr(doc["General"], "MaxAmount", 0), 0);
  EXPECT_EQ(ValueOr(doc, "Missing", "No message"), "No message");
  EXPECT_TRUE(MemberOrEmpty(doc, "Absent").empty());
}

TEST(WithDefault, ParentThatIsNotAnObjectIsTheLibraryError306) {
  EXPECT_EQ(ErrorOf([] { (void)ValueOr(Json(), "Debug", false); }),
            "[json.exception.type_error.306] cannot use value() with null");
  EXPECT_EQ(ErrorOf([] { (void)ValueOr(Doc("[1]"), "Count", 9999); }),
            "[json.exception.type_error.306] cannot use value() with array");
}

TEST(WithDefault, WrongTypeIsTheLibraryError302) {
  EXPECT_EQ(ErrorOf([] { (void)ValueOr(Doc(R"({"Debug": 1})"), "Debug", false); }),
            "[json.exception.type_error.302] type must be boolean, but is number");
  EXPECT_EQ(ErrorOf([] { (void)ValueOr(Doc(R"({"Count": "3"})"), "Count", 9999); }),
            "[json.exception.type_error.302] type must be number, but is string");
  EXPECT_EQ(ErrorOf([] { (void)ValueOr(Doc(R"({"Name": 3})"), "Name", ""); }),
            "[json.exception.type_error.302] type must be string, but is number");
}

TEST(Required, MissingMemberIsAnErrorWhenReadAndTheDocumentStaysUntouched) {
  const Json doc = Doc(R"({"General": {}})");
  const Json before = doc;
  EXPECT_EQ(ErrorOf([&] { (void)RequiredValue<float>(doc.at("General"), "NotificationScale"); }),
            "[json.exception.type_error.302] type must be number, but is null");
  EXPECT_EQ(ErrorOf([&] { (void)RequiredValue<std::string>(doc, "ShowLimitsType"); }),
            "[json.exception.type_error.302] type must be string, but is null");
  EXPECT_EQ(doc, before);
}

TEST(Required, NullParentCountsAsAnEmptyObjectSoADefaultReadAfterItFails306) {
  // "Messages" absent: the required step passes, the read with default then fails.
  const Json doc = Doc(R"({"General": {}})");
  EXPECT_EQ(ErrorOf([&] { (void)ValueOr(Required(doc, "Messages"), "ReachLimit", "x"); }),
            "[json.exception.type_error.306] cannot use value() with null");
  EXPECT_FALSE(doc.contains("Messages"));
}

TEST(Required, ParentOfAnotherTypeIsAnError) {
  EXPECT_THAT(ErrorOf([] { (void)Required(Doc("[]"), "General"); }),
              HasSubstr("cannot use operator[] with a string argument with array"));
  EXPECT_THAT(ErrorOf([] { (void)Required(Doc("7"), "General"); }), HasSubstr("with number"));
}

TEST(TypedReads, IntegersTruncateTowardZeroAndBooleansCountAsOneAndZero) {
  EXPECT_EQ(Read<std::int32_t>(Json(2.9)), 2);
  EXPECT_EQ(Read<std::int32_t>(Json(-2.9)), -2);
  EXPECT_EQ(Read<std::int32_t>(Json(true)), 1);
  EXPECT_EQ(Read<std::int32_t>(Json(false)), 0);
  EXPECT_FLOAT_EQ(Read<float>(Json(true)), 1.0F);
  EXPECT_FLOAT_EQ(Read<float>(Json(2)), 2.0F);
}

TEST(TypedReads, ValuesBeyondTheTargetRangeAreClampedNotWrapped) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(Read<std::int32_t>(Json(1e20)), kMax);
  EXPECT_EQ(Read<std::int32_t>(Json(-1e20)), kMin);
  EXPECT_EQ(Read<std::int32_t>(Json(3000000000U)), kMax);
  EXPECT_EQ(Read<std::int32_t>(Json(-3000000000LL)), kMin);
  EXPECT_EQ(Read<float>(Json(1e300)), std::numeric_limits<float>::max());
}

}  // namespace
}  // namespace cairnward
