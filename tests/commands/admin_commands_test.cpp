#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/direct_story.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class UpdateStructures : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
    // Built while the plug-in was not looking: only a recount sees it.
    Spawn(kWall, 2001, 2);
  }
  standin::SimPlayerController* admin_ = nullptr;
};

TEST_F(UpdateStructures, TheConsoleFormRecountsAndAnswersNothing) {
  EXPECT_TRUE(server().Console(admin_, u"UpdateStructures"));
  EXPECT_EQ(CountOf(kWall, 2001), 2);
  EXPECT_THAT(Received(admin_), IsEmpty());
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(UpdateStructures, ADeadAdministratorsConsoleDoesNotRecount) {
  world().TakeCharacter(admin_);
  EXPECT_TRUE(server().Console(admin_, u"UpdateStructures"));
  EXPECT_EQ(CountOf(kWall, 2001), 0);
}

TEST_F(UpdateStructures, TheRconFormAnswersWithTheRequestsIdWhateverFollowsTheName) {
  const auto replies = server().Rcon(u"UpdateStructures now please", 41);
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].id, 41);
  EXPECT_EQ(replies[0].type, 0);
  EXPECT_EQ(replies[0].text, u"Updated All Structures");
  EXPECT_EQ(CountOf(kWall, 2001), 2);
}

TEST_F(UpdateStructures, AFailedRecountIsLoggedAndItsTextAnswered) {
  Config()["Structures"] = Json::array({1});
  Configure();
  const auto replies = server().Rcon(u"UpdateStructures");
  ASSERT_EQ(replies.size(), 1U);
  EXPECT_THAT(Narrow(replies[0].text), HasSubstr("[json.exception."));
  EXPECT_THAT(Errors(), ElementsAre(HasSubstr("[json.exception.")));

  EXPECT_TRUE(server().Console(admin_, u"UpdateStructures"));
  EXPECT_EQ(Errors().size(), 2U);
}

class GetBp : public DirectStory {
 protected:
  void SetUp() override {
    DirectStory::SetUp();
    AttachPlugin();
    admin_ = AddPlayer("Admin", 76561198000000009ULL, 0, /*admin=*/true);
  }

  // Aims at `actor` (null: at nothing) and asks.
  std::vector<standin::Delivery> AimAndAsk(standin::SimActor* actor) {
    if (admin_->character != nullptr) {
      admin_->character->aimed_actor = actor;
    }
    EXPECT_TRUE(server().Console(admin_, u"GetBp"));
    return Received(admin_);
  }

  standin::SimPlayerController* admin_ = nullptr;
};

TEST_F(GetBp, AStructureGivesItsPathByChatAndInTheLog) {
  const auto shown = AimAndAsk(Spawn(kWall, 2001)[0]);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].form, standin::Delivery::Form::kChat);
  EXPECT_EQ(shown[0].sender, u"Cairnward");
  EXPECT_EQ(shown[0].text, u"Blueprint'/Game/Structures/Wall.Wall'");
  EXPECT_THAT(Infos(), ElementsAre("Blueprint'/Game/Structures/Wall.Wall'"));
}

TEST_F(GetBp, NothingANonStructureOrADeadPlayerGetsNoAnswer) {
  EXPECT_THAT(AimAndAsk(nullptr), IsEmpty());
  EXPECT_THAT(AimAndAsk(SpawnNonStructure("/Game/Creatures/Raptor.Raptor", 2001)), IsEmpty());
  world().TakeCharacter(admin_);
  EXPECT_THAT(AimAndAsk(Spawn(kWall, 2001)[0]), IsEmpty());
  EXPECT_THAT(LogLines(), IsEmpty());
}

TEST_F(GetBp, APathWithBracesIsSentAsItIs) {
  const auto shown = AimAndAsk(Spawn("/Game/Mods/{Odd}/Wall.Wall", 2001)[0]);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, u"Blueprint'/Game/Mods/{Odd}/Wall.Wall'");
  EXPECT_THAT(Errors(), IsEmpty());
}

TEST_F(GetBp, ADefaultObjectWithoutASpaceGivesAnEmptyPath) {
  standin::SimClass* odd =
      world().MakeClass(u"Odd_C", world().StructureClass(), u"NoSpaceInThisName");
  const auto shown = AimAndAsk(world().SpawnActor(odd, 2001));
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, u"");
  EXPECT_THAT(Infos(), ElementsAre(""));
}

TEST_F(GetBp, WithoutASenderTheSenderIsNoMessage) {
  Config()["Messages"].erase("Sender");
  Configure();
  const auto shown = AimAndAsk(Spawn(kWall, 2001)[0]);
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].sender, u"No message");
}

TEST_F(GetBp, AFailureIsLoggedAndNeverLeavesTheCommand) {
  Config()["Messages"] = "not an object";
  Configure();
  EXPECT_THAT(AimAndAsk(Spawn(kWall, 2001)[0]), IsEmpty());
  EXPECT_THAT(Errors(), ElementsAre(HasSubstr("[json.exception.type_error.30")));
}

}  // namespace
}  // namespace cairnward::testing
