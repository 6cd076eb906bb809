#include "cluster/repair.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <span>

#include "cluster/repair_scripts.h"
#include "cluster/script_calls.h"

namespace cairnward {
namespace {

// Keys asked of SCAN per call, and the script lookups per call.
constexpr std::string_view kScanCount = "1000";
constexpr std::size_t kLookupsPerCall = 2000;
constexpr std::size_t kTeamsPerCall = 100;
// What the limits comparison answers while this grid's limits are not in Redis.
constexpr long long kNoLimitsHere = -2;
// Findings listed before the rest are only counted.
constexpr std::size_t kFindingsListed = 100;

std::string_view TextOf(const redisReply& reply) {
  return reply.type == REDIS_REPLY_STRING || reply.type == REDIS_REPLY_STATUS
             ? std::string_view(reply.str, reply.len)
             : std::string_view();
}

std::vector<std::string> Members(RedisConnection& connection, const std::string& set) {
  const Reply reply = connection.Run(Command{"SMEMBERS", set});
  std::vector<std::string> members;
  for (std::size_t i = 0; i < reply->elements; ++i) {
    members.emplace_back(TextOf(*reply->element[i]));
  }
  return members;
}

void StopIfAsked(const std::atomic<bool>* stop) {
  if (stop != nullptr && stop->load()) {
    throw LinkDown("stopped: the plug-in unloads");
  }
}

// Every key matching the pattern, from SCAN calls of a bounded size.
void ScanKeys(RedisConnection& connection, const std::string& pattern,
              const std::atomic<bool>* stop, const std::function<void(std::string_view)>& each) {
  std::string cursor = "0";
  do {
    StopIfAsked(stop);
    const Reply reply =
        connection.Run(Command{"SCAN", cursor, "MATCH", pattern, "COUNT", std::string(kScanCount)});
    if (reply->type != REDIS_REPLY_ARRAY || reply->elements != 2) {
      throw LinkDown("SCAN answered something else than a cursor and keys");
    }
    cursor = TextOf(*reply->element[0]);
    const redisReply& found = *reply->element[1];
    for (std::size_t i = 0; i < found.elements; ++i) {
      each(TextOf(*found.element[i]));
    }
  } while (cursor != "0");
}

// The team of "...team:<id>", 0 when the key ends otherwise.
std::int32_t TeamOfKey(std::string_view key) {
  const std::size_t colon = key.rfind(':');
  const std::string_view tail = key.substr(colon + 1);
  const std::int32_t team = TeamOfMember(tail);
  return colon != std::string_view::npos && key.substr(0, colon).ends_with("team") &&
                 std::to_string(team) == tail
             ? team
             : 0;
}

// The teams of the cluster's aggregates and contributions, and the grids
// (as they stand in keys) that hold contributions.
struct ClusterKeys {
  std::set<std::int32_t> teams;
  std::set<std::string> grids;
};

ClusterKeys ListClusterKeys(RedisConnection& connection, const KeyNames& keys,
                            const std::atomic<bool>* stop) {
  ClusterKeys found;
  const std::string& prefix = keys.Prefix();
  ScanKeys(connection, prefix + "*", stop, [&](std::string_view key) {
    const std::int32_t team = TeamOfKey(key);
    if (team == 0) {
      return;
    }
    found.teams.insert(team);
    std::string_view rest = key.substr(prefix.size());
    if (rest.starts_with("server:")) {
      rest.remove_prefix(7);
      found.grids.emplace(rest.substr(0, rest.find(':')));
    }
  });
  return found;
}

struct Batches {
  std::size_t teams = 0;
  std::size_t differing = 0;
  std::vector<std::string> bad;  // a finding per team left as it was
  bool refused = false;          // a retired grid's lease appeared
};

std::string Shown(std::string_view escaped) {
  return "\"" + UnescapeKeyPart(escaped) + "\"";
}

std::string BadFinding(const redisReply& entry) {
  return fmt::format(
      "team {}: grid {}'s contribution holds {}, which is not a count; the team "
      "is left as it was",
      TextOf(*entry.element[0]), Shown(TextOf(*entry.element[2])), TextOf(*entry.element[3]));
}

std::string DifferFinding(const redisReply& entry) {
  if (TextOf(*entry.element[1]) == "unindexed") {
    return fmt::format("team {}: its grid index does not name the grids that hold its counts",
                       TextOf(*entry.element[0]));
  }
  std::string line = fmt::format("team {}:", TextOf(*entry.element[0]));
  for (std::size_t k = 3; k + 2 < entry.elements; k += 3) {
    const std::string_view held = TextOf(*entry.element[k + 1]);
    line +=
        fmt::format("{} {} is {}, the grids' sum {}", k == 3 ? "" : ";", TextOf(*entry.element[k]),
                    held.empty() ? "none" : held, TextOf(*entry.element[k + 2]));
  }
  const long long fields = entry.element[2]->integer;
  const long long listed = static_cast<long long>((entry.elements - 3) / 3);
  if (fields > listed) {
    line += fmt::format(" (and {} more fields)", fields - listed);
  }
  return line;
}

// Runs the teams script in batches; `on_differ` hears of each team whose
// aggregate was not the sum.
Batches RunTeamBatches(RedisConnection& connection, const KeyNames& keys, std::string_view mode,
                       const std::string& retired, const std::set<std::int32_t>& teams,
                       const std::atomic<bool>* stop,
                       const std::function<void(const redisReply&)>& on_differ) {
  Batches batches;
  const Reply count = connection.Run(Command{"SCARD", keys.Servers()});
  const std::size_t per_call = TeamsPerBatch(static_cast<std::size_t>(count->integer));
  std::vector<std::int32_t> all(teams.begin(), teams.end());
  for (std::size_t first = 0; first < all.size(); first += per_call) {
    StopIfAsked(stop);
    Command call{"EVAL", std::string(RepairTeamsScript()), "0", std::string(mode), keys.Prefix(),
                 retired};
    const std::size_t last = std::min(all.size(), first + per_call);
    for (std::size_t i = first; i < last; ++i) {
      call.push_back(std::to_string(all[i]));
    }
    const Reply reply = connection.Run(call);
    if (reply->elements > 0 && reply->element[0]->type == REDIS_REPLY_INTEGER) {
      batches.refused = true;
      return batches;
    }
    batches.teams = last;
    for (std::size_t i = 0; i < reply->elements; ++i) {
      const redisReply& entry = *reply->element[i];
      if (TextOf(*entry.element[1]) == "bad") {
        batches.bad.push_back(BadFinding(entry));
      } else {
        ++batches.differing;
        on_differ(entry);
      }
    }
  }
  return batches;
}

// Findings past the listed ones are counted in one last line.
void AddFinding(RepairReport& report, std::size_t& unlisted, std::string line) {
  if (report.findings.size() < kFindingsListed) {
    report.findings.push_back(std::move(line));
  } else {
    ++unlisted;
  }
}

void EndFindings(RepairReport& report, std::size_t unlisted) {
  if (unlisted > 0) {
    report.findings.push_back(fmt::format("... and {} more", unlisted));
  }
}

std::string Teams(std::size_t n) {
  return fmt::format("{} team{}", n, n == 1 ? "" : "s");
}

std::string Grids(std::size_t n) {
  return fmt::format("{} grid{}", n, n == 1 ? "" : "s");
}

RepairReport Refused(std::string summary) {
  RepairReport report;
  report.summary = std::move(summary);
  report.done = false;
  return report;
}

// The finding for a grid whose limits differ from this grid's in `fields`
// fields, from the compare script's answer.
std::string LimitsDifference(const std::string& grid, long long fields, const redisReply& reply) {
  std::string line =
      fmt::format("grid {}'s limits differ from this grid's in {} field{}:", Shown(grid), fields,
                  fields == 1 ? "" : "s");
  for (std::size_t k = 1; k + 2 < reply.elements; k += 3) {
    const auto value = [](std::string_view text) { return text.empty() ? "none" : text; };
    line += fmt::format("{} {} {} here, {} there", k == 1 ? "" : ";", TextOf(*reply.element[k]),
                        value(TextOf(*reply.element[k + 1])), value(TextOf(*reply.element[k + 2])));
  }
  return line;
}

// The grids whose limits hash is not this grid's, a finding each.
std::size_t CompareLimits(RedisConnection& connection, const KeyNames& keys, RepairReport& report) {
  std::vector<std::string> grids = Members(connection, keys.Servers());
  std::erase(grids, keys.Server());
  std::vector<Command> calls;
  calls.reserve(grids.size());
  for (const std::string& grid : grids) {
    calls.push_back(Command{"EVAL", std::string(CompareLimitsScript()), "2", keys.Limits(),
                            keys.OfGrid(grid).Limits()});
  }
  const std::vector<Reply> replies = connection.Run(calls);
  std::size_t differing = 0;
  for (std::size_t g = 0; g < grids.size(); ++g) {
    const redisReply& reply = *replies[g];
    const long long fields = reply.elements > 0 ? reply.element[0]->integer : 0;
    if (fields == 0) {
      continue;
    }
    if (fields == kNoLimitsHere) {
      report.findings.emplace_back(
          "this grid's limits are not in Redis yet (they are published with its next placement): "
          "no grid's limits were compared");
      return 0;
    }
    ++differing;
    if (fields < 0) {
      report.findings.push_back(fmt::format("grid {} has no limits in Redis", Shown(grids[g])));
      continue;
    }
    report.findings.push_back(LimitsDifference(grids[g], fields, reply));
  }
  return differing;
}

// Why the grid may not be retired now; none when it may.
std::optional<std::string> RetireRefusal(RedisConnection& connection, const KeyNames& keys,
                                         const std::string& escaped) {
  if (escaped == keys.Server()) {
    return fmt::format("Grid {} is this grid: retire it from another grid once it has stopped",
                       Shown(escaped));
  }
  if (connection.Run(Command{"EXISTS", keys.OfGrid(escaped).Lease()})->integer == 1) {
    return fmt::format(
        "Grid {} is live (its lease is held): stop it, and retire it once its lease has expired",
        Shown(escaped));
  }
  return std::nullopt;
}

std::string RetireSummary(const std::string& shown, const Batches& batches, bool finished,
                          std::size_t teams) {
  if (finished) {
    return fmt::format(
        "Retired grid {}: its contribution of {} is out of the cluster's counts, and the grid out "
        "of its list",
        shown, Teams(teams));
  }
  if (!batches.bad.empty()) {
    return fmt::format(
        "Retired grid {} from {} of {}; it stays in the cluster for the others, whose counts are "
        "not all numbers (see above)",
        shown, teams - batches.bad.size(), Teams(teams));
  }
  return fmt::format(
      "Grid {} came back during the retire, after {} of {}; its own publication replaces what is "
      "left",
      shown, batches.teams, Teams(teams));
}

}  // namespace

std::size_t TeamsPerBatch(std::size_t grids) {
  return std::clamp<std::size_t>(kLookupsPerCall / (grids + 1), 1, kTeamsPerCall);
}

RepairReport RetireGrid(RedisConnection& connection, const KeyNames& keys, std::string_view grid,
                        const std::atomic<bool>* stop) {
  const std::string escaped = EscapeKeyPart(grid);
  if (std::optional<std::string> refusal = RetireRefusal(connection, keys, escaped)) {
    return Refused(std::move(*refusal));
  }
  std::set<std::int32_t> teams;
  ScanKeys(connection, keys.Prefix() + "server:" + escaped + ":team:*", stop,
           [&](std::string_view key) {
             if (const std::int32_t team = TeamOfKey(key); team != 0) {
               teams.insert(team);
             }
           });
  const KeyNames other = keys.OfGrid(escaped);
  const bool listed = connection.Run(Command{"SISMEMBER", keys.Servers(), escaped})->integer == 1 ||
                      connection.Run(Command{"EXISTS", other.Limits()})->integer == 1;
  if (teams.empty() && !listed) {
    return Refused(
        fmt::format("Grid {} holds nothing in the cluster: nothing to retire", Shown(escaped)));
  }
  const Batches batches =
      RunTeamBatches(connection, keys, "retire", escaped, teams, stop, [](const redisReply&) {});
  // The grid's own keys go last, once no team holds its counts.
  const bool finished =
      !batches.refused && batches.bad.empty() &&
      connection.Run(Command{"EVAL", std::string(RetireGridScript()), "0", keys.Prefix(), escaped})
              ->integer == 1;
  RepairReport report;
  report.findings = batches.bad;
  report.done = finished;
  report.summary = RetireSummary(Shown(escaped), batches, finished, teams.size());
  return report;
}

RepairReport RebuildAggregates(RedisConnection& connection, const KeyNames& keys,
                               const std::atomic<bool>* stop) {
  const ClusterKeys found = ListClusterKeys(connection, keys, stop);
  // A grid that holds a contribution is in the list every script reads.
  for (const std::string& grid : found.grids) {
    connection.Run(Command{"SADD", keys.Servers(), grid});
  }
  RepairReport report;
  std::size_t unlisted = 0;
  const Batches batches = RunTeamBatches(
      connection, keys, "rebuild", "", found.teams, stop, [&](const redisReply& entry) {
        AddFinding(report, unlisted, DifferFinding(entry) + " (corrected)");
      });
  for (const std::string& bad : batches.bad) {
    AddFinding(report, unlisted, bad);
  }
  EndFindings(report, unlisted);
  report.summary = fmt::format(
      "Rebuilt the cluster's counts from the contributions of {}: {} "
      "read, {} corrected",
      Grids(found.grids.size()), Teams(found.teams.size()), batches.differing);
  if (!batches.bad.empty()) {
    report.summary += fmt::format(", {} left as they were (see above)", batches.bad.size());
  } else {
    // Every team's grid index now names the grids that hold it.
    connection.Run(Command{"SET", keys.GridIndexKept(), "1"});
  }
  return report;
}

RepairReport CheckCluster(RedisConnection& connection, const KeyNames& keys,
                          const std::atomic<bool>* stop) {
  const ClusterKeys found = ListClusterKeys(connection, keys, stop);
  RepairReport report;
  std::size_t unlisted = 0;
  const Batches batches = RunTeamBatches(
      connection, keys, "check", "", found.teams, stop,
      [&](const redisReply& entry) { AddFinding(report, unlisted, DifferFinding(entry)); });
  for (const std::string& bad : batches.bad) {
    AddFinding(report, unlisted, bad);
  }
  EndFindings(report, unlisted);
  if (!found.teams.empty() &&
      connection.Run(Command{"EXISTS", keys.GridIndexKept()})->integer == 0) {
    report.findings.emplace_back(
        "the grid indexes are not kept, so every join and publication reads every grid's "
        "counts: cairnward.cluster rebuild makes them");
  }
  const std::size_t other_limits = CompareLimits(connection, keys, report);
  const std::size_t wrong = batches.differing + batches.bad.size();
  report.teams = found.teams.size();
  report.teams_differing = wrong;
  report.summary = fmt::format(
      "Checked {} and {}: {} whose counts are not the sum of the grids'{}; {} whose limits are "
      "not this grid's",
      Teams(found.teams.size()), Grids(found.grids.size()), Teams(wrong),
      wrong > 0 ? " (cairnward.cluster rebuild corrects them)" : "", Grids(other_limits));
  return report;
}

}  // namespace cairnward
