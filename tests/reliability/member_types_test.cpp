#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reliability/figures.h"
#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// Every member that the plug-in reads, and the document itself.
const char* const kMembers[] = {
    "",
    "/Debug",
    "/General",
    "/General/IgnoreAdmin",
    "/General/MaxAmount",
    "/General/NotificationScale",
    "/General/NotificationDisplayTime",
    "/Structures",
    "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'",
    "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'/Count",
    "/Structures/Blueprint'~1Game~1Structures~1Wall.Wall'/Name",
    "/Messages",
    "/Messages/ShowLimitsCmd",
    "/Messages/ReachLimit",
    "/Messages/InvitingMergeFail",
    "/Messages/InvitedMergeFail",
    "/Messages/InvitingTribeFail",
    "/Messages/InvitedPlayerFail",
    "/Messages/ShowLimitMsg",
    "/Messages/TotalLimitMsg",
    "/Messages/Sender",
    "/Messages/ShowLimitsType",
    "/Messages/NotificationColor",
    "/Messages/NotificationColor/Red",
    "/Messages/NotificationColor/Green",
    "/Messages/NotificationColor/Blue",
    "/Messages/ShowLimitsScale",
    "/Messages/ShowLimitsDisplayTime",
};

// One value of every JSON type.
std::vector<Json> EveryType() {
  return {nullptr, true, 7, -2.5, "text", Json::array({1}), Json::object({{"a", 1}})};
}

// Players on both sides of every limit, with the hooks installed and every
// command at hand; a fresh cast for every file, so that each meets the same
// world.
class MemberTypes : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    good_ = Config();
  }

  struct Cast {
    standin::SimPlayerController* admin;
    standin::SimPlayerController* alice;  // her tribe is at its wall limit
    standin::SimPlayerController* bob;
  };

  Cast NewCast(int round) {
    const std::string suffix = std::to_string(round);
    const std::int32_t base = 10000 + (round * 10);
    Cast cast{AddPlayer("Admin" + suffix, 76561198000000000ULL + base, base, /*admin=*/true),
              AddPlayer("Alice" + suffix, 76561198000000001ULL + base, base + 1),
              AddPlayer("Bob" + suffix, 76561198000000002ULL + base, base + 2)};
    PutInTribe(cast.alice, base + 5);
    cast.alice->character->aimed_actor = Spawn(kWall, 0)[0];
    Spawn(kWall, base + 5, 3);
    Spawn(kFoundation, base + 2, 2);
    return cast;
  }

  // The same events and commands, whatever configuration is in force.
  void EveryCommandAndHook(const Cast& cast) {
    EXPECT_TRUE(server().Chat(cast.alice, u"/limits"));
    EXPECT_TRUE(server().Chat(cast.bob, u"/limits"));
    EXPECT_TRUE(server().Console(cast.alice, u"GetBp"));
    EXPECT_TRUE(server().Console(cast.admin, u"UpdateStructures"));
    server().Rcon(u"UpdateStructures", 3);
    server().StartGameMode();
    for (const char* blueprint : {kWall, kFoundation, kCeiling}) {
      Place(cast.alice, blueprint);
      Place(cast.bob, blueprint);
      Place(cast.admin, blueprint);
    }
    server().Destroy(standin::StructuresOf(world(), cast.bob->targeting_team).front(),
                     standin::Via::kDie);
    server().Invite(cast.bob, cast.alice);
    server().CreateTribe(cast.admin, cast.admin->targeting_team + 6);
    server().Merge(cast.admin, cast.alice);
  }

  Json good_;
};

TEST_F(MemberTypes, EveryMemberOfEveryTypeIsReadOrRefusedAndEveryFailureIsContained) {
  int files = 0;
  for (const char* member : kMembers) {
    for (const Json& value : EveryType()) {
      SCOPED_TRACE(std::string(member) + " = " + value.dump());
      const Cast cast = NewCast(files);
      Config() = good_;
      Configure();
      Recount();
      Json hostile = good_;
      hostile[Json::json_pointer(member)] = value;
      WriteConfig(hostile);
      server().ClearLog();

      TraceOf([&] { EXPECT_TRUE(server().Console(cast.admin, u"cairnward.reload")); });
      if (PluginConfig() != hostile) {
        EXPECT_EQ(PluginConfig(), good_) << "a refused file must leave the previous one in force";
        EXPECT_THAT(PluginLogLines(spdlog::level::err), Not(IsEmpty()));
      }
      TraceOf([&] { EveryCommandAndHook(cast); });
      // Each failure was contained where it happened and said what it was.
      EXPECT_THAT(PluginLogLines(spdlog::level::err), Each(HasSubstr("[json.exception.")));
      // A reload that names another chat command says it waits for the next load.
      EXPECT_THAT(PluginLogLines(spdlog::level::warn),
                  Each(::testing::AnyOf(HasSubstr("[json.exception."),
                                        HasSubstr("takes effect at the next load"))));
      ++files;
    }
  }
  Tally("hostile_files", files);
}

}  // namespace
}  // namespace cairnward::testing
