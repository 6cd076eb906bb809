#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "api/ark_api.h"
#include "config/debug_trace.h"
#include "counts/counts.h"
#include "hooks/hook_guard.h"
#include "hooks/hooks.h"
#include "host/blueprint_path.h"
#include "host/game.h"
#include "messages/near_limit.h"
#include "messages/push.h"

namespace cairnward {
namespace {

constexpr std::string_view kBuildHook = "Hook_APrimalStructure_IsAllowedToBuild";

// Tells the placing player of a limit he has come near, if any. The
// placement stands even when its warning cannot be shown.
void WarnAfterPlacement(APlayerController* pc, std::u16string_view path, const PathFacts& facts,
                        std::int32_t team, const TeamView& after) {
  try {
    WarnNearLimit(static_cast<AShooterPlayerController*>(pc), path, facts, team, after);
  } catch (const std::exception& e) {
    LogHookFailure(kBuildHook, e.what());
  }
}

// Whether the placement may go ahead, counting it when it may.
bool JudgeAndCount(APlayerController* pc, const FString& path, std::int32_t team,
                   std::uint64_t steam_id) {
  const PathFacts facts = FactsOfPath(path.View());
  const PlacementVerdict verdict = JudgePlacement(path, facts, team, steam_id);
  if (verdict.allowed) {
    WarnAfterPlacement(pc, path.View(), facts, team, verdict.after);
  }
  return verdict.allowed;
}

// Judges and counts one final placement that the game allowed. Answers
// whether the placement still stands.
bool CheckPlacement(APlayerController* pc, const FString& path, std::uint64_t steam_id) {
  const std::int32_t team = Field<game::kTargetingTeam>(pc);
  DebugTrace("| APrimalStructure_IsAllowedToBuild: [LimitCheck]: team_id: {}", team);
  if (team == 0) {
    return true;
  }
  if (JudgeAndCount(pc, path, team, steam_id)) {
    return true;
  }
  // A refused placement builds nothing, so it is not counted.
  DebugTrace("| APrimalStructure_IsAllowedToBuild: [LimitCheck]: Building Prevented!");
  try {
    NotifyByKey("ReachLimit", static_cast<AShooterPlayerController*>(pc));
  } catch (const std::exception& e) {
    // The limit holds even when its message cannot be shown.
    LogHookFailure(kBuildHook, e.what());
  }
  return false;
}

}  // namespace

void Hook_AShooterGameMode_InitGame(AShooterGameMode* mode, FString* map_name, FString* options,
                                    FString* error_message) {
  original::InitGame(mode, map_name, options, error_message);
  GuardHook(
      "Hook_AShooterGameMode_InitGame", [] { Recount(); }, [] {});
}

int Hook_APrimalStructure_IsAllowedToBuild(APrimalStructure* structure, APlayerController* pc,
                                           FVector at_location, FRotator at_rotation,
                                           FPlacementData* out_placement, bool dont_adjust_range,
                                           FRotator view_rotation, bool final_placement,
                                           void* prevention_actors, void* snap_info) {
  GameAnswer<int> game_answer;
  const auto call_game = [&] {
    return original::IsAllowedToBuild(structure, pc, at_location, at_rotation, out_placement,
                                      dont_adjust_range, view_rotation, final_placement,
                                      prevention_actors, snap_info);
  };
  return GuardHook(
      kBuildHook,
      [&] {
        TraceBanner("| Hook_APrimalStructure_IsAllowedToBuild");
        bool allowed = game_answer.Get(call_game) != 0;
        const std::uint64_t steam_id = ArkApi::GetApiUtils().GetSteamIdFromController(pc);
        if (allowed && final_placement && pc != nullptr) {
          // Formed only for the limit check, its one user: the game asks
          // many times a second while a player aims.
          const FString path = BlueprintPathOf(structure);
          if (!IsC4Charge(path.View())) {
            allowed = CheckPlacement(pc, path, steam_id);
          }
        }
        return allowed ? 1 : 0;
      },
      [&] { return game_answer.Get(call_game) != 0 ? 1 : 0; });
}

void Hook_APrimalStructure_Destroyed(APrimalStructure* structure) {
  GameCallOnce game;
  const auto call_game = [&] { original::Destroyed(structure); };
  GuardHook(
      "Hook_APrimalStructure_Destroyed",
      [&] {
        TraceBanner("| Hook_APrimalStructure_Destroyed");
        game.Run(call_game);
        const FString path = BlueprintPathOf(structure);
        const std::int32_t team = Field<game::kTargetingTeam>(structure);
        if (IsC4Charge(path.View())) {
          return;
        }
        DebugTrace("|");
        DebugTrace("| Hook_APrimalStructure_Destroyed: team_id: {}", team);
        DebugTrace("|");
        if (team > kHighestUncountedTeam) {
          CountRemoval(path, team);
          DebugTrace("|");
          DebugTrace("| Hook_APrimalStructure_Destroyed: Count: -1");
          DebugTrace("| Hook_APrimalStructure_Destroyed: path_name: {}", Utf8Text{path.View()});
          DebugTrace("|");
        }
      },
      [&] { game.Run(call_game); });
}

bool Hook_APrimalStructure_Die(APrimalStructure* structure, float damage, FDamageEvent* event,
                               AController* killer, AActor* causer) {
  GuardHook(
      "Hook_APrimalStructure_Die", [] { DebugTrace("| Hook_APrimalStructure_Die: Starts"); },
      [] {});
  return original::Die(structure, damage, event, killer, causer);
}

bool Hook_APrimalStructure_Demolish(APrimalStructure* structure, APlayerController* by,
                                    AActor* tool) {
  GuardHook(
      "Hook_APrimalStructure_Demolish",
      [] { TraceBanner("| Hook_APrimalStructure_Demolish: Starts"); }, [] {});
  return original::Demolish(structure, by, tool);
}

}  // namespace cairnward
