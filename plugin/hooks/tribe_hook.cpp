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
  std::int32_t inviting_team;  // the counts move here
  std::int32_t joining_team;   // the joining player's
};

// What tells a merge from an invitation: its trace lines, whole so that
// nothing is formatted while the trace is off, and its refusal messages.
struct JoinTexts {
  std::string_view tag;
  std::string_view start;
  std::string_view find_players;
  std::string_view allowed_code1;
  std::string_view allowed_code2;
  bool code2_when_moved;  // also when counts moved here, not only when none did
  std::string_view prevented;
  bool prevented_traced_first;  // before the messages are sent, not after
  std::string_view inviting_refused_key;
  std::string_view invited_refused_key;
};

constexpr JoinTexts kMergeTexts{
    .tag = "[Merging]",
    .start = "| AShooterPlayerState_AddToTribe: [Merging]: Start!",
    .find_players = "| AShooterPlayerState_AddToTribe: [Merging]: Find players",
    .allowed_code1 = "| AShooterPlayerState_AddToTribe: [Merging]: Tribe merge allowed! (Code 1)",
    .allowed_code2 = "| AShooterPlayerState_AddToTribe: [Merging]: Tribe Merge allowed! (Code 2)",
    .code2_when_moved = true,
    .prevented = "| AShooterPlayerState_AddToTribe: [Merging]: Tribe merge prevented!",
    .prevented_traced_first = false,
    .inviting_refused_key = "InvitingMergeFail",
    .invited_refused_key = "InvitedMergeFail",
};

constexpr JoinTexts kInviteTexts{
    .tag = "[Invite]",
    .start = "| AShooterPlayerState_AddToTribe: [Invite]: Start!",
    .find_players = "| AShooterPlayerState_AddToTribe: [Invite]: Find players",
    .allowed_code1 = "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite allowed! (Code 1)",
    .allowed_code2 = "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite allowed! (Code 2)",
    .code2_when_moved = false,
    .prevented = "| AShooterPlayerState_AddToTribe: [Invite]: Tribe invite prevented!",
    .prevented_traced_first = true,
    .inviting_refused_key = "InvitingTribeFail",
    .invited_refused_key = "InvitedPlayerFail",
};

// The hook's result, or none when the limit rules refused the join: the hook
// then returns false at once, without its closing banner.
using CaseResult = std::optional<bool>;

// Both sides of the join, or none when the game gives no player or state.
std::optional<Participants> FindParticipants(AShooterPlayerState* player,
                                             APlayerController* inviter) {
  auto* inviter_state = static_cast<AShooterPlayerState*>(Field<game::kPlayerState>(inviter));
  AController* joiner = CallGame<game::kGetOwnerController>(player);
  if (inviter_state == nullptr || joiner == nullptr) {
    return std::nullopt;
  }
  return Participants{inviter, joiner, GetTeamID(inviter_state), GetTeamID(player)};
}

void TraceTeams(const JoinTexts& texts, const Participants& p) {
  DebugTrace("|");
  DebugTrace("| AShooterPlayerState_AddToTribe: {}: Find team_id1: {}", texts.tag, p.inviting_team);
  DebugTrace("| AShooterPlayerState_AddToTribe: {}: Find team_id2: {}", texts.tag, p.joining_team);
  DebugTrace("|");
}

CaseResult Refused(const JoinTexts& texts, const Participants& p) {
  if (texts.prevented_traced_first) {
    DebugTrace(texts.prevented);
  }
  NotifyRefusal(texts.inviting_refused_key, p.inviter);
  NotifyRefusal(texts.invited_refused_key, p.joiner);
  if (!texts.prevented_traced_first) {
    DebugTrace(texts.prevented);
  }
  return std::nullopt;
}

// Judges the join, lets the game decide it and moves the counts.
CaseResult JoinAndMove(const JoinTexts& texts, const Participants& p,
                       const std::function<bool()>& call_game) {
  const auto trace_code1 = [&](const TraceLines& trace, std::int32_t, bool after) {
    if (after) {
      trace(texts.allowed_code1);
    }
  };
  switch (JoinTeams(p.inviting_team, p.joining_team, call_game, trace_code1)) {
    case JoinOutcome::kRefusedByLimits:
      return Refused(texts, p);
    case JoinOutcome::kRefusedByGame:
      return false;
    case JoinOutcome::kMoved:
      if (texts.code2_when_moved) {
        DebugTrace(texts.allowed_code2);
      }
      break;
    case JoinOutcome::kNothingHere:
      DebugTrace(texts.allowed_code2);
      break;
  }
  return true;
}

// A merge and an invitation share their steps; `texts` tells them apart.
CaseResult JoinCase(AShooterPlayerState* player, APlayerController* inviter, const JoinTexts& texts,
                    const std::function<bool()>& call_game) {
  TraceFramed(texts.start);
  if (inviter == nullptr) {
    return false;
  }
  TraceFramed(texts.find_players);
  const std::optional<Participants> participants = FindParticipants(player, inviter);
  if (!participants) {
    return false;
  }
  TraceTeams(texts, *participants);
  if (participants->inviting_team == 0 || participants->joining_team == 0) {
    return false;
  }
  if (participants->inviting_team == participants->joining_team) {
    // One team on both sides: nothing to check or move; the game decides.
    return call_game();
  }
  return JoinAndMove(texts, *participants, call_game);
}

void TraceCreatedMove(const TraceLines& trace, std::int32_t moved, bool after) {
  if (!after) {
    trace("| Creating a tribe: 5");
    trace("| Creating a tribe: [Creating] UpdateStructureCount {}", moved);
  } else {
    trace("| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 1)");
  }
}

// The player's counts follow him from the team he had alone to his tribe's.
void FollowToTribe(AShooterPlayerState* player, std::int32_t old_team) {
  DebugTrace("| Creating a tribe: 3");
  const std::int32_t new_team = GetTeamID(player);
  if (new_team == old_team) {
    return;
  }
  DebugTrace("| Creating a tribe: 4");
  DebugTrace("| AShooterPlayerState_AddToTribe: [Creating] team_id1: {}", new_team);
  DebugTrace("| AShooterPlayerState_AddToTribe: [Creating] team_id2: {}", old_team);
  const bool had_counts = MoveTeam(old_team, new_team, TraceCreatedMove);
  DebugTrace(had_counts ? "| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 2)"
                        : "| AShooterPlayerState_AddToTribe: [Creating]: Tribe Created! (Code 3)");
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
      FollowToTribe(player, old_team);
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
          result = JoinCase(player, inviter, kMergeTexts, call_game);
        } else if (!merge_tribe && from_invite) {
          result = JoinCase(player, inviter, kInviteTexts, call_game);
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
