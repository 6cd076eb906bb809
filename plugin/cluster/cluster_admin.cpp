#include "cluster/cluster_admin.h"

#include <fmt/format.h>

#include <optional>

#include "cluster/cluster_parts.h"
#include "cluster/repair_runner.h"

namespace cairnward {
namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The repair the words ask for; none when they ask for none.
std::optional<RepairJob> JobOf(std::string_view arguments) {
  arguments = Trimmed(arguments);
  const std::size_t space = arguments.find(' ');
  const std::string_view word = arguments.substr(0, space);
  const std::string_view rest =
      space == std::string_view::npos ? std::string_view() : Trimmed(arguments.substr(space));
  if (word == "retire" && !rest.empty()) {
    return RepairJob{RepairKind::kRetire, std::string(rest)};
  }
  if (word == "rebuild" && rest.empty()) {
    return RepairJob{RepairKind::kRebuild, {}};
  }
  if (word == "check" && rest.empty()) {
    return RepairJob{RepairKind::kCheck, {}};
  }
  return std::nullopt;
}

}  // namespace

std::string ClusterCommandReply(std::string_view arguments) {
  RepairRunner* repairs = CurrentClusterParts().repairs;
  if (repairs == nullptr) {
    return "Not in cluster mode: config.json had no \"Cluster\" section when the plug-in loaded";
  }
  const std::optional<RepairJob> job = JobOf(arguments);
  if (!job) {
    return std::string(kClusterUsage);
  }
  const std::string name = RepairName(*job);
  if (!repairs->Start(*job)) {
    return fmt::format("Not started: another repair is under way ({}); its result goes to the log",
                       repairs->State().running);
  }
  return fmt::format("Cluster {} started; its result goes to the log and to cairnward.status",
                     name);
}

}  // namespace cairnward
