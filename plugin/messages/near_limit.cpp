#include "messages/near_limit.h"

#include <optional>
#include <string>
#include <utility>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "messages/limit_name.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

struct Standing {
  std::uint32_t position = 0;  // in a TeamView
  std::int32_t count = 0;
  std::int32_t limit = 0;
};

// The limit nearest to being reached among those at the threshold; the
// first of equals stays.
class Nearest {
 public:
  explicit Nearest(std::int32_t percent) : percent_(percent) {}

  void Consider(std::size_t position, std::int32_t count, std::int32_t limit) {
    const auto wide = [](std::int32_t n) { return static_cast<std::int64_t>(n); };
    if (limit <= 0 || wide(count) * 100 < wide(percent_) * wide(limit)) {
      return;
    }
    if (best_ && wide(count) * wide(best_->limit) <= wide(best_->count) * wide(limit)) {
      return;
    }
    best_ = Standing{static_cast<std::uint32_t>(position), count, limit};
  }

  [[nodiscard]] const std::optional<Standing>& Best() const { return best_; }

 private:
  std::int32_t percent_;
  std::optional<Standing> best_;
};

// "AtLimitMsg" for a limit just reached, where the administrator gave one,
// with the name it gives; else "NearLimitMsg" with the name it always gave.
std::pair<std::u16string, std::u16string> WarningText(const Json& root, const Standing& standing) {
  if (standing.count == standing.limit &&
      FindMember(SettingObject(root, settings::kMessages), settings::kAtLimitMsg.name) != nullptr) {
    return {MessageText(root, settings::kAtLimitMsg.name),
            LimitNameOrPathAt(root, standing.position)};
  }
  return {MessageText(root, settings::kNearLimitMsg.name), LimitNameAt(root, standing.position)};
}

}  // namespace

void WarnNearLimit(AShooterPlayerController* player, std::u16string_view path,
                   const PathFacts& facts, std::int32_t team, const TeamView& after) {
  const LimitPlan& plan = Limits();
  if (!plan.WarnAtPercent() || team <= kHighestUncountedTeam) {
    return;
  }
  Nearest nearest(*plan.WarnAtPercent());
  Ledger& ledger = StructureLedger();
  if (const auto entry = facts.entry; entry != ledger.end()) {
    const std::size_t index = IndexOfEntry(entry);
    nearest.Consider(BlueprintPosition(index), after.Blueprint(index),
                     BlueprintLimitOf(entry, path, team));
  }
  for (const std::uint32_t group : facts.groups) {
    nearest.Consider(GroupPosition(group), after.Group(group), plan.GroupLimitOf(group, team));
  }
  nearest.Consider(0, after.Total(), MaxAmountOf(team));
  if (const auto& best = nearest.Best()) {
    const Json& root = PluginConfig();
    const NotificationLook look = KeyedNotificationLook(root);
    const auto [text, name] = WarningText(root, *best);
    PushNotification(player, kRed, look.scale, look.display_time, text, name, best->count,
                     best->limit);
  }
}

}  // namespace cairnward
