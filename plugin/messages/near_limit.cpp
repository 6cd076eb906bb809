#include "messages/near_limit.h"

#include <optional>
#include <string>

#include "accounting/ledger.h"
#include "accounting/limit_rules.h"
#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace cairnward {
namespace {

struct Standing {
  std::u16string name;
  std::int32_t count = 0;
  std::int32_t limit = 0;
};

// The limit nearest to being reached among those at the threshold; the
// first of equals stays.
class Nearest {
 public:
  explicit Nearest(std::int32_t percent) : percent_(percent) {}

  template <typename NameOf>
  void Consider(std::int32_t count, std::int32_t limit, NameOf&& name_of) {
    const auto wide = [](std::int32_t n) { return static_cast<std::int64_t>(n); };
    if (limit <= 0 || wide(count) * 100 < wide(percent_) * wide(limit)) {
      return;
    }
    if (best_ && wide(count) * wide(best_->limit) <= wide(best_->count) * wide(limit)) {
      return;
    }
    best_ = Standing{name_of(), count, limit};
  }

  [[nodiscard]] const std::optional<Standing>& Best() const { return best_; }

 private:
  std::int32_t percent_;
  std::optional<Standing> best_;
};

}  // namespace

void WarnNearLimit(AShooterPlayerController* player, std::u16string_view path,
                   const PathFacts& facts, std::int32_t team, const TeamView& after) {
  const LimitPlan& plan = Limits();
  if (!plan.WarnAtPercent() || team <= kHighestUncountedTeam) {
    return;
  }
  const Json& root = PluginConfig();
  Nearest nearest(*plan.WarnAtPercent());
  Ledger& ledger = StructureLedger();
  if (const auto entry = facts.entry; entry != ledger.end()) {
    const auto index = static_cast<std::size_t>(entry.Position() - ledger.begin().Position());
    nearest.Consider(after.Blueprint(index), BlueprintLimitOf(entry, path, team), [&] {
      return FromUtf8(SettingOr<std::string>(root, settings::kName, ToUtf8(entry->first.View())));
    });
  }
  for (const std::uint32_t group : facts.groups) {
    nearest.Consider(after.Group(group), plan.GroupLimitOf(group, team),
                     [&] { return plan.Groups()[group].name; });
  }
  nearest.Consider(after.Total(), MaxAmountOf(team),
                   [&] { return MessageTextOr(root, "TotalName", u"Total"); });
  if (const auto& best = nearest.Best()) {
    const NotificationLook look = KeyedNotificationLook(root);
    PushNotification(player, kRed, look.scale, look.display_time, MessageText(root, "NearLimitMsg"),
                     best->name, best->count, best->limit);
  }
}

}  // namespace cairnward
