#include "cluster/cluster_status.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "cluster/cluster_counts.h"
#include "cluster/cluster_parts.h"
#include "cluster/key_names.h"
#include "cluster/publisher.h"
#include "cluster/redis_link.h"
#include "cluster/repair_runner.h"
#include "cluster/repair_scripts.h"
#include "host/clock_text.h"

namespace cairnward {
namespace {

// What the limits comparison answers while this grid's limits are not in Redis.
constexpr long long kNoLimitsHere = -2;

std::string_view TextOf(const redisReply& reply) {
  return reply.type == REDIS_REPLY_STRING || reply.type == REDIS_REPLY_STATUS
             ? std::string_view(reply.str, reply.len)
             : std::string_view();
}

// "redis_version:7.0.15" of INFO's answer.
std::string VersionOf(std::string_view info) {
  constexpr std::string_view kField = "redis_version:";
  const std::size_t at = info.find(kField);
  if (at == std::string_view::npos) {
    return "unknown";
  }
  const std::string_view rest = info.substr(at + kField.size());
  return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

// What Redis says of the grids, read on the game thread's link.
struct GridsSeen {
  std::string version;
  std::vector<std::string> grids;        // as they stand in keys
  std::vector<long long> lease_left_ms;  // PTTL: below 0 when there is none
  std::vector<long long> other_limits;   // fields that differ; -1: none published
};

GridsSeen ReadGrids(RedisLink& link, const KeyNames& keys) {
  GridsSeen seen;
  const std::vector<Command> first{{"INFO", "server"}, {"SMEMBERS", keys.Servers()}};
  const std::vector<Reply> replies = link.Run(first);
  seen.version = VersionOf(TextOf(*replies[0]));
  for (std::size_t i = 0; i < replies[1]->elements; ++i) {
    seen.grids.emplace_back(TextOf(*replies[1]->element[i]));
  }
  std::sort(seen.grids.begin(), seen.grids.end());
  std::vector<Command> asked;
  for (const std::string& grid : seen.grids) {
    const KeyNames other = keys.OfGrid(grid);
    asked.push_back({"PTTL", other.Lease()});
    asked.push_back(
        {"EVAL", std::string(CompareLimitsScript()), "2", keys.Limits(), other.Limits()});
  }
  const std::vector<Reply> answers = link.Run(asked);
  for (std::size_t g = 0; g < seen.grids.size(); ++g) {
    seen.lease_left_ms.push_back(answers[2 * g]->integer);
    const redisReply& compared = *answers[2 * g + 1];
    seen.other_limits.push_back(compared.elements > 0 ? compared.element[0]->integer : 0);
  }
  return seen;
}

std::string LinkLine(const ClusterSettings& settings, const LinkRecord::Snapshot& link,
                     const std::optional<GridsSeen>& seen) {
  std::string line = fmt::format("Cluster \"{}\", grid \"{}\": link {} since {}", settings.name,
                                 settings.server, link.up ? "up" : "down", UtcTimeText(link.since));
  if (!link.up) {
    line += fmt::format(" ({})", link.reason);
  }
  line += fmt::format("; Redis {}:{}", settings.host, settings.port);
  if (seen) {
    line += fmt::format(", version {}", seen->version);
  }
  if (link.round_trips == 0) {
    return line + "; no round trips in the last minute";
  }
  return line + fmt::format("; round trips in the last minute: {}, p50 {}, p99 {}",
                            link.round_trips, DurationText(link.p50), DurationText(link.p99));
}

std::string PublicationLine(Publisher& publisher) {
  const std::optional<PublicationRecord> last = publisher.LastSent();
  std::string line =
      last ? fmt::format("Last publication: {}, {} team{} in {}", UtcTimeText(last->ended),
                         last->teams, last->teams == 1 ? "" : "s", DurationText(last->took))
           : std::string("Last publication: none yet");
  if (publisher.WaitingTurn()) {
    line += "; one waits its turn behind another grid's";
  } else if (publisher.Busy()) {
    line += "; one is being sent now";
  }
  return line;
}

// A lease's age from the time it has left, taking this grid's "LeaseMs" for
// every grid's.
std::string LeaseText(long long left_ms, std::chrono::milliseconds lease) {
  if (left_ms < 0) {
    return "no lease: stopped";
  }
  const auto age = std::max<long long>(0, lease.count() - left_ms);
  return fmt::format("lease renewed {} ago", DurationText(std::chrono::milliseconds(age)));
}

void AddGridLines(const GridsSeen& seen, const KeyNames& keys, std::chrono::milliseconds lease,
                  std::vector<std::string>& lines) {
  std::string grids = fmt::format("Grids ({}):", seen.grids.size());
  std::string other_limits;
  bool ours_published = true;
  for (std::size_t g = 0; g < seen.grids.size(); ++g) {
    const std::string name = UnescapeKeyPart(seen.grids[g]);
    const bool here = seen.grids[g] == keys.Server();
    grids += fmt::format("{} \"{}\" ({}{})", g == 0 ? "" : ",", name, here ? "this grid, " : "",
                         LeaseText(seen.lease_left_ms[g], lease));
    const long long differ = seen.other_limits[g];
    ours_published = ours_published && differ != kNoLimitsHere;
    if (!here && differ != 0 && differ != kNoLimitsHere) {
      other_limits += fmt::format("{} \"{}\" ({})", other_limits.empty() ? "" : ",", name,
                                  differ < 0    ? std::string("none published")
                                  : differ == 1 ? std::string("1 field differs")
                                                : fmt::format("{} fields differ", differ));
    }
  }
  lines.push_back(std::move(grids));
  if (!ours_published) {
    other_limits = " not known until this grid's limits are in Redis (at its next placement)";
  }
  lines.push_back("Grids whose limits differ from this grid's:" +
                  (other_limits.empty() ? std::string(" none") : other_limits));
}

void AddRepairLines(RepairRunner& repairs, std::vector<std::string>& lines) {
  const RepairState state = repairs.State();
  if (!state.running.empty()) {
    lines.push_back("Repair under way: " + state.running);
  }
  if (!state.last.empty()) {
    lines.push_back(state.last);
  }
}

}  // namespace

std::vector<std::string> ClusterStatusLines() {
  const ClusterParts parts = CurrentClusterParts();
  if (parts.link == nullptr) {
    return {};
  }
  std::optional<GridsSeen> seen;
  std::string unseen = "Grids: not known while the link is down";
  if (ClusterUp()) {
    try {
      seen = ReadGrids(*parts.link, *parts.keys);
    } catch (const LinkDown& e) {
      unseen = fmt::format("Grids: not known ({})", e.what());
    }
  }
  const ClusterSettings& settings = parts.link->Settings();
  std::vector<std::string> lines{LinkLine(settings, parts.link->Record().Take(), seen),
                                 PublicationLine(*parts.publisher)};
  if (seen) {
    AddGridLines(*seen, *parts.keys, settings.lease, lines);
  } else {
    lines.push_back(std::move(unseen));
  }
  AddRepairLines(*parts.repairs, lines);
  return lines;
}

}  // namespace cairnward
