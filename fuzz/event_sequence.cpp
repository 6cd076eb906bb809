// Fuzz target: a sequence of game events, commands and configuration reloads
// decoded from the input, over a small world. Whatever the sequence, the
// counts the hooks keep must equal a fresh recount of the world at its end.
//
// Input: one byte picks an action, the bytes after it are its arguments; a
// missing byte reads as 0 and the sequence ends with the input.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "accounting/ledger.h"
#include "accounting/recount.h"
#include "fuzz_server.h"
#include "host/text.h"
#include "support/counts_snapshot.h"

namespace cairnward::fuzz {
namespace {

using standin::SimPlayerController;

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  [[nodiscard]] bool Done() const { return at_ >= size_; }
  std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t Pick(std::size_t n) { return Next() % n; }
  bool Bit() { return (Next() & 1U) != 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

using Snapshot = testing::CountsSnapshot;
using testing::SnapshotCounts;

std::string Describe(const Snapshot& snapshot) {
  std::string text;
  for (const auto& [key, count] : snapshot) {
    text += "  " + ToUtf8(key.first) + " team " + std::to_string(key.second) + ": " +
            std::to_string(count) + "\n";
  }
  return text;
}

// Limits, texts and switches as a valid configuration may set them.
std::string ConfigFrom(Bytes& in) {
  nlohmann::json config = nlohmann::json::parse(FuzzConfig());
  auto& structures = config["Structures"];
  structures["Blueprint'/Game/Structures/Wall.Wall'"]["Count"] = in.Pick(6);
  structures["Blueprint'/Game/Structures/Foundation.Foundation'"]["Count"] = in.Pick(8);
  config["General"]["MaxAmount"] = in.Pick(24);
  config["General"]["IgnoreAdmin"] = in.Bit();
  const std::uint8_t switches = in.Next();
  if ((switches & 1U) != 0) {
    // Differs from the first name only in case: one ledger entry for both.
    structures["blueprint'/game/structures/wall.wall'"]["Count"] = 1;
  }
  if ((switches & 2U) != 0) {
    structures["Blueprint'/Game/Structures/C4Charge.C4Charge'"]["Count"] = 1;
  }
  if ((switches & 4U) != 0) {
    structures.erase("Blueprint'/Game/Structures/Foundation.Foundation'");
  }
  if ((switches & 8U) != 0) {
    structures["Blueprint'/Game/Strukturen/T\xC3\xBCr.T\xC3\xBCr'"]["Count"] = 2;
  }
  if ((switches & 16U) != 0) {
    config["Messages"]["ShowLimitsType"] = "Notification";
  }
  config["Debug"] = (switches & 0xE0U) == 0xE0U;
  return config.dump();
}

// Files a reload must refuse, keeping the configuration and counts it had.
void WriteRefusedConfig(FuzzServer& fuzz, std::size_t kind) {
  switch (kind) {
    case 0:
      fuzz.RemoveConfig();
      break;
    case 1:
      fuzz.WriteConfig(R"({"General": {"MaxAmount": 1}, "Structures": )");
      break;
    case 2:
      // Read without fault, but the world cannot be counted by it.
      fuzz.WriteConfig(R"({"General": {}, "Messages": {}, "Structures": [1]})");
      break;
    default:
      fuzz.WriteConfig(R"([{"General": {}}])");
      break;
  }
}

// The small world's blueprints, the C4 charge among them: charges are
// counted nowhere, by the hooks or by a recount.
constexpr std::size_t kBlueprintCount = std::size(kBlueprints);

class Story {
 public:
  explicit Story(FuzzServer& fuzz) : fuzz_(fuzz) {
    standin::World& world = fuzz.world();
    // Players' and tribes' ids are above 1000, as in the game, where ids up
    // to 1000 are the game's own teams: no player or tribe moves between
    // those and counted ones.
    for (int i = 0; i < 6; ++i) {
      players_.push_back(world.AddPlayer("P" + std::to_string(i), 100 + i, 3000 + i));
    }
    fuzz.server().AddToGroup(104, u"Admins");
    for (std::size_t i = 0; i < players_.size(); ++i) {
      for (std::size_t b = 0; b <= i % 3; ++b) {
        world.SpawnActor(world.BlueprintClass(kBlueprints[(i + b) % kBlueprintCount]),
                         players_[i]->targeting_team);
      }
    }
    good_config_ = FuzzConfig();
    fuzz.WriteConfig(good_config_);
    if (!fuzz.Attach()) {
      Fail("the baseline configuration does not load");
    }
  }

  void Step(Bytes& in) {
    standin::Server& server = fuzz_.server();
    standin::World& world = fuzz_.world();
    switch (in.Next() % 16) {
      case 0:
      case 1: {
        SimPlayerController* player = AnyPlayerOrNobody(in);
        const char* blueprint = kBlueprints[in.Pick(kBlueprintCount)];
        standin::PlaceOptions placement = game_;
        placement.aim_calls = in.Bit() ? 1 : 0;
        AsHost("a placement", [&] { server.Place(player, blueprint, placement); });
        break;
      }
      case 2: {
        const auto owned = standin::StructuresOf(world, standin::TeamOf(AnyPlayer(in)));
        const std::size_t which = in.Next();
        const auto via = in.Bit() ? standin::Via::kDie : standin::Via::kDemolish;
        if (!owned.empty()) {
          AsHost("a removal", [&] { server.Destroy(owned[which % owned.size()], via); });
        }
        break;
      }
      case 3: {
        SimPlayerController* player = AnyPlayer(in);
        const std::int32_t tribe = AnyTribe(in);
        AsHost("a tribe created", [&] { server.CreateTribe(player, tribe); });
        break;
      }
      case 4: {
        SimPlayerController* joiner = AnyPlayer(in);
        SimPlayerController* inviter = AnyPlayer(in);
        AsHost("an invitation", [&] { server.Invite(joiner, inviter); });
        break;
      }
      case 5: {
        SimPlayerController* joiner = AnyPlayer(in);
        SimPlayerController* inviter = AnyPlayer(in);
        AsHost("a merge", [&] { server.Merge(joiner, inviter); });
        break;
      }
      case 6: {
        SimPlayerController* player = AnyPlayer(in);
        const std::int32_t tribe = AnyTribe(in);
        AsHost("a forced join", [&] { server.ForceJoin(player, tribe); });
        break;
      }
      case 7:
        server.LeaveTribe(AnyPlayer(in));
        break;
      case 8: {
        SimPlayerController* joiner = AnyPlayer(in);
        standin::SimTribeData* tribe = world.TribeById(AnyTribe(in));
        const std::uint8_t flags = in.Next();
        SimPlayerController* inviter = AnyPlayerOrNobody(in);
        const bool invite = (flags & 4U) != 0;
        if (invite) {
          // The game's invitations and merges carry the inviter's tribe, or none.
          const standin::SimPlayerState* inviting =
              inviter != nullptr ? inviter->player_state : nullptr;
          tribe =
              inviting != nullptr && inviting->in_tribe ? inviting->current_tribe_data : nullptr;
        }
        AsHost("a tribe join", [&] {
          server.AddToTribe(joiner, tribe, (flags & 1U) != 0, (flags & 2U) != 0, invite, inviter);
        });
        break;
      }
      case 9: {
        // The game's own verdicts: placements it refuses or allows in its
        // own words, and a tribe join it turns down after the plug-in agreed.
        constexpr int kVerdicts[] = {1, 0, 7};
        const int verdict = kVerdicts[in.Pick(3)];
        game_ = {.game_allows = verdict != 0, .game_answer = verdict};
        world.refuse_tribe_joins = in.Bit() ? 1 : 0;
        break;
      }
      case 10:
        good_config_ = ConfigFrom(in);
        fuzz_.WriteConfig(good_config_);
        Reload(in.Bit());
        break;
      case 11:
        WriteRefusedConfig(fuzz_, in.Pick(4));
        Reload(in.Bit());
        break;
      case 12:
        Command(in);
        break;
      case 13:
        AsHost("the game-mode start", [&] { server.StartGameMode(); });
        break;
      case 14: {
        SimPlayerController* player = AnyPlayer(in);
        if (player->character != nullptr) {
          world.TakeCharacter(player);
        } else {
          world.GiveCharacter(player);
        }
        break;
      }
      default:
        // Unloaded and loaded again; a file the load refuses is put right
        // first, as an administrator would, so that the plug-in runs on.
        fuzz_.Detach();
        if (!fuzz_.Attach()) {
          fuzz_.WriteConfig(good_config_);
          if (!fuzz_.Attach()) {
            Fail("a good configuration does not load again");
          }
        }
        break;
    }
  }

  // The property: what the hooks kept equals what a recount finds.
  void CheckCounts() const {
    const Snapshot kept = SnapshotCounts();
    AsHost("a recount", [] { UpdateStructureCountAll(); });
    const Snapshot found = SnapshotCounts();
    if (kept != found) {
      Fail("counts drifted from the world\nkept by the hooks:\n" + Describe(kept) +
           "found by a recount:\n" + Describe(found));
    }
  }

 private:
  SimPlayerController* AnyPlayer(Bytes& in) { return players_[in.Pick(players_.size())]; }
  SimPlayerController* AnyPlayerOrNobody(Bytes& in) {
    const std::size_t which = in.Pick(players_.size() + 1);
    return which < players_.size() ? players_[which] : nullptr;
  }
  static std::int32_t AnyTribe(Bytes& in) {
    constexpr std::int32_t kTribes[] = {5000, 5001, 5002, 5003};
    return kTribes[in.Pick(4)];
  }

  void Reload(bool over_rcon) {
    if (over_rcon) {
      Rcon(fuzz_.server(), u"cairnward.reload", 3);
    } else {
      Console(fuzz_.server(), players_[0], u"cairnward.reload");
    }
  }

  void Command(Bytes& in) {
    standin::Server& server = fuzz_.server();
    SimPlayerController* player = AnyPlayer(in);
    switch (in.Pick(5)) {
      case 0:
        for (const std::u16string& name : server.Commands().ChatNames()) {
          Chat(server, player, name);
        }
        break;
      case 1:
        Console(server, player, u"UpdateStructures");
        break;
      case 2:
        Rcon(server, u"UpdateStructures", 4);
        break;
      case 3:
        Console(server, player, u"GetBp");
        break;
      default:
        AdminCommand(in, player);
        break;
    }
  }

  // The administrators' commands that read the counts, or reload, with an
  // argument drawn from names, ids and words they must turn down.
  void AdminCommand(Bytes& in, SimPlayerController* player) {
    static constexpr const char16_t* kNames[] = {u"cairnward.limits", u"cairnward.over",
                                                 u"cairnward.status", u"cairnward.reload"};
    static constexpr const char16_t* kArguments[] = {
        u"", u" 3001", u" P2", u" 0", u" -1", u" 2147483648", u" 3", u" nobody", u" 3001 3002"};
    std::u16string line = kNames[in.Pick(std::size(kNames))];
    line += kArguments[in.Pick(std::size(kArguments))];
    if (in.Bit()) {
      Console(fuzz_.server(), player, line);
    } else {
      Rcon(fuzz_.server(), line, 5);
    }
  }

  FuzzServer& fuzz_;
  std::vector<SimPlayerController*> players_;
  standin::PlaceOptions game_;  // how the game judges placements for now
  std::string good_config_;
};

}  // namespace
}  // namespace cairnward::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cairnward::fuzz;
  // Long sequences add time, not kinds of trouble.
  constexpr std::size_t kMaxSteps = 400;
  Bytes in(data, size);
  FuzzServer fuzz;
  Story story(fuzz);
  for (std::size_t step = 0; step < kMaxSteps && !in.Done(); ++step) {
    story.Step(in);
  }
  story.CheckCounts();
  return 0;
}
