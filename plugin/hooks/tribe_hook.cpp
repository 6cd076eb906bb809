#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "accounting/team_identity.h"
#include "config/debug_trace.h"
#include "counts/counts.h"
#include "hooks/hook_guard.h"
#include "hooks/hooks.h"
#include "host/game.h"
#include "messages/messages.h"

namespace cairnward {
namespace {

constexpr std::string_view kTribeHook = "Hook_AShooterPlayerState_AddToTribe";

// A refusal holds even when its message cannot be shown.
void NotifyRefusal(std::string_view key, AController* controller) {
  try {
    NotifyByKey(key, static_cast<AShooterPlayerController*>(controller));
  } catch (const std::exception& e) {
    LogHookFailure(kTribeHook, e.what());
  }
}

struct Participants {
  AController* inviter;
  AController* joiner;
  std::int32_t team1;  // inviting side: counts move here
  std::int32_t team2;  // joining player
};

// The hook's result, or none when the limit rules refused the join: the hook
// then returns false at once, without its closing banner.
using CaseResult = std::optional<bool>;

// Merge and invite share their steps; `merge` picks the texts and keys.
CaseResult JoinCase(AShooterPlayerState* player, APlayerController* inviter, bool merge,
                    const std::function<bool()>& call_game) {
  const std::string_view tag = merge ? "[Merging]" : "[Invite]";
  // Whole lines, so that nothing is formatted while the trace is off.
  TraceFramed(merge ? "| AShooterPlayerState_AddToTribe: [Merging]: Start!"
                    : "| AShooterPlayerState_AddToTribe: [Invite]: Start!");
  if (inviter == nullptr) {
    return false;
  }
  TraceFramed(merge ? "| AShooterPlayerState_AddToTribe: [Merging]: Find players"
                    : "| AShooterPlayerState_AddToTribe: [Invite]: Find players");
  auto* inviter_state = static_cast<AShooterPlayerState*>(Field<game::kPlayerState>(inviter));
  AController* joiner = CallGame<game::kGetOwnerController>(player);
  if (inviter_state == nullptr || joiner == nullptr) {
    return false;
  }
  const Participants p{inviter, joiner, GetTeamID(inviter_state), GetTeamID(player)};
  DebugTrace("|");
  DebugTrace("| AShooterPlayerState_AddToTribe: {}: Find team_id1: {}", tag, p.team1);
  DebugTrace("| AShooterPlayerState_AddToTribe: {}: Find team_id2: {}", tag, p.team2);
  DebugTrace("|");
  if (p.team1 == 0 || p.team2 == 0) {
    return false;
  }
  if (p.team1 == p.team2) {
    // One team on both sides: nothing to check or move; the game decides.
    return call_game();
  }
  const std::string code1 =
      merge ? "| AShooterPlayerState_AddToTribe: [Merging]: Tribe merge allowed! (Code 1)"
            : "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite allowed! (Code 1)";
  const auto trace_code1 = [&](const TraceLines& trace, std::int32_t, bool after) {
    if (after) {
      trace(code1);
    }
  };
  switch (JoinTeams(p.team1, p.team2, call_game, trace_code1)) {
    case JoinOutcome::kRefusedByLimits:
      if (merge) {
        NotifyRefusal("InvitingMergeFail", p.inviter);
        NotifyRefusal("InvitedMergeFail", p.joiner);
        DebugTrace("| AShooterPlayerState_AddToTribe: [Merging]: Tribe merge prevented!");
      } else {
        DebugTrace("| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite prevented!");
        NotifyRefusal("InvitingTribeFail", p.inviter);
        NotifyRefusal("InvitedPlayerFail", p.joiner);
      }
      return std::nullopt;
    case JoinOutcome::kRefusedByGame:
      return false;
    case JoinOutcome::kMoved:
      if (merge) {
        DebugTrace("| AShooterPlayerState_AddToTribe: [Merging]: Tribe Merge allowed! (Code 2)");
      }
      break;
    case JoinOutcome::kNothingHere:
      DebugTrace(
          merge ? "| AShooterPlayerState_AddToTribe: [Merging]: Tribe Merge allowed! (Code 2)"
                : "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite allowed! (Code 2)");
      break;
  }
  return true;
}

// Both flags clear: a tribe created, or a forced join. The game always runs;
// the player's counts follow him when he leaves his own team for a tribe.
bool CreateCase(AShooterPlayerState* player, const std::function<bool()>& call_game) {
  std::int32_t old_team = 0;
  if (!CallGame<game::kIsInTribe>(player)) {
    old_team = GetTeamID(player);
  }
  TraceFramed("| AShooterPlayerState_AddToTribe: Creating a tribe");
  const bool result = call_game();
  DebugTrace("| Creating a tribe: 1");
  if (result) {
    DebugTrace("| Creating a tribe: 2");
    if (CallGame<game::kIsInTribe>(player) && old_team > 0) {
      DebugTrace("| Creating a tribe: 3");
      const std::int32_t new_team = GetTeamID(player);
      if (new_team != old_team) {
        DebugTrace("| Creating a tribe: 4");
        DebugTrace("| AShooterPlayerState_AddToTribe: [Creating] team_id1: {}", new_team);
        DebugTrace("| AShooterPlayerState_AddToTribe: [Creating] team_id2: {}", old_team);
        const bool had_counts = MoveTeam(
            old_team, new_team, [](const TraceLines& trace, std::int32_t moved, bool after) {
              if (!after) {
                trace("| Creating a tribe: 5");
                trace("| Creating a tribe: [Creating] UpdateStructureCount {}", moved);
              } else {
                trace("| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 1)");
              }
            });
        DebugTrace(had_counts
                       ? "| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 2)"
                       : "| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 3)");
      }
    }
  }
  DebugTrace("| Creating a tribe: 6");
  return result;
}

}  // namespace

bool Hook_AShooterPlayerState_AddToTribe(AShooterPlayerState* player, FTribeData* tribe,
                                         bool merge_tribe, bool force, bool from_invite,
                                         APlayerController* inviter) {
  GameAnswer<bool> game_answer;
  const std::function<bool()> call_game = [&] {
    return game_answer.Get([&] {
      return original::AddToTribe(player, tribe, merge_tribe, force, from_invite, inviter);
    });
  };
  return GuardHook(
      kTribeHook,
      [&] {
        TraceBanner("| Hook_AShooterPlayerState_AddToTribe");
        CaseResult result = false;
        if (merge_tribe && from_invite) {
          result = JoinCase(player, inviter, true, call_game);
        } else if (!merge_tribe && from_invite) {
          result = JoinCase(player, inviter, false, call_game);
        } else if (!merge_tribe) {
          result = CreateCase(player, call_game);
        }
        if (!result) {
          return false;
        }
        TraceBanner("| Hook_AShooterPlayerState_AddToTribe: End!");
        return *result;
      },
      // The player's action is not lost to a failure of ours: the game decides.
      call_game);
}

}  // namespace cairnward
