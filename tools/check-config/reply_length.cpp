#include "reply_length.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "config/limit_plan.h"
#include "config/setting_reads.h"
#include "host/text.h"
#include "json_positions.h"
#include "messages/messages.h"
#include "messages/push.h"
#include "template_checks.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
using cairnward::Setting;
namespace settings = cairnward::settings;

// One line of the reply, for a team at its limit.
struct ReplyLine {
  const Setting* line = nullptr;  // the template's setting
  std::string source;             // the member that gives the line its values
  std::u16string name;
  std::int32_t limit = 0;
};

// The file's text as the plug-in shows it: up to its first NUL.
std::u16string WideUpToNul(const std::string& text) {
  return cairnward::FromUtf8(text.substr(0, text.find('\0')));
}

// The ledger's entries, one per key folded, as show-limits reads their
// settings: through the key, which ends at a NUL and holds "?" for every
// byte beyond ASCII.
std::vector<ReplyLine> BlueprintLines(const Json& root) {
  std::map<std::string, ReplyLine> entries;
  for (const std::string& member : cairnward::LimitedBlueprints(root)) {
    const std::string key =
        cairnward::ToUtf8(cairnward::AsciiWiden(member.substr(0, member.find('\0'))));
    if (entries.contains(Folded(key))) {
      continue;
    }
    entries.emplace(
        Folded(key),
        ReplyLine{
            .line = &settings::kShowLimitMsg,
            .source = TablePointer(settings::kStructures) + "/" + PointerToken(member),
            .name = WideUpToNul(cairnward::SettingOr<std::string>(root, settings::kName, key)),
            .limit = cairnward::SettingOr<std::int32_t>(root, settings::kCount, key)});
  }
  std::vector<ReplyLine> lines;
  lines.reserve(entries.size());
  for (auto& entry : entries) {
    lines.push_back(std::move(entry.second));
  }
  return lines;
}

std::vector<ReplyLine> GroupLines(const Json& root) {
  const bool own_template =
      cairnward::FindMember(cairnward::SettingObject(root, settings::kMessages),
                            settings::kShowGroupMsg.name) != nullptr;
  const cairnward::LimitPlan plan = cairnward::ParseLimitPlan(root, {});
  std::vector<ReplyLine> lines;
  lines.reserve(plan.Groups().size());
  for (const cairnward::GroupLimit& group : plan.Groups()) {
    const std::u16string& name = group.name;
    lines.push_back(
        ReplyLine{.line = own_template ? &settings::kShowGroupMsg : &settings::kShowLimitMsg,
                  .source = TablePointer(settings::kGroups) + "/" + PointerToken(group.key),
                  .name = std::u16string(cairnward::UpToNul(name)),
                  .limit = group.count});
  }
  return lines;
}

ReplyLine TotalLine(const Json& root) {
  return ReplyLine{.line = &settings::kTotalLimitMsg,
                   .source = TablePointer(settings::kTotalLimitMsg),
                   .name = {},
                   .limit = cairnward::RequiredSetting<std::int32_t>(root, settings::kMaxAmount)};
}

std::u16string TemplateOf(const Json& root, const Setting& line) {
  return cairnward::MessageText(root, line.name);
}

// The length of one line, or nothing when the plug-in cannot make it: a line
// too long for the values it shows is told at their member, any other
// failure at the template.
std::optional<std::size_t> LineLength(const Json& root, const ReplyLine& line, Findings& findings) {
  const std::int32_t count = std::max(line.limit, 0);
  const std::array<std::int32_t, 3> numbers{count, line.limit, count};
  const std::string given =
      line.line == &settings::kTotalLimitMsg
          ? fmt::format("with MaxAmount {}, for a team at that total", line.limit)
          : "with its Name and Count, for a team at that limit";
  try {
    return FormatWithValues(TemplateOf(root, *line.line), *line.line, line.name, numbers).size();
  } catch (const std::length_error& e) {
    findings.Add(Severity::kError, line.source,
                 fmt::format("gives show-limits a line it cannot make {} ({}): {}.", given,
                             e.what(), settings::kShowLimitsFails));
  } catch (const std::exception& e) {
    findings.Add(Severity::kError, TablePointer(*line.line),
                 fmt::format("cannot make the show-limits line of {} {} ({}): {}.", line.source,
                             given, e.what(), settings::kShowLimitsFails));
  }
  return std::nullopt;
}

void TellCut(const std::vector<ReplyLine>& blueprints, const std::vector<ReplyLine>& groups,
             Findings& findings) {
  const std::string lines = blueprints.empty() ? fmt::format("names {} groups", groups.size())
                            : groups.empty()
                                ? fmt::format("names {} blueprints", blueprints.size())
                                : fmt::format("names {} blueprints, and \"Groups\" {} groups",
                                              blueprints.size(), groups.size());
  findings.Add(Severity::kWarning,
               TablePointer(blueprints.empty() ? settings::kGroups : settings::kStructures),
               fmt::format("{}, and the show-limits reply of a team at every limit passes {} "
                           "characters with these lines: the plug-in cuts it there and ends it "
                           "with \"…\".",
                           lines, cairnward::kMaxReplyLength));
}

}  // namespace

void CheckReply(const Json& root, Findings& findings) {
  std::vector<ReplyLine> blueprints;
  std::vector<ReplyLine> groups;
  std::optional<ReplyLine> total;
  const bool readable = ErrorOf([&] {
                          blueprints = BlueprintLines(root);
                          groups = GroupLines(root);
                          total = TotalLine(root);
                        }).empty();
  if (!readable) {
    return;
  }
  std::vector<ReplyLine> lines = blueprints;
  lines.insert(lines.end(), groups.begin(), groups.end());
  lines.push_back(*total);
  if (!std::all_of(lines.begin(), lines.end(), [&](const ReplyLine& line) {
        return TemplateFormats(TemplateOf(root, *line.line), *line.line);
      })) {
    return;
  }
  std::size_t length = 0;
  for (const ReplyLine& line : lines) {
    const std::optional<std::size_t> part = LineLength(root, line, findings);
    if (!part) {
      return;
    }
    length += *part;
    if (length > cairnward::kMaxReplyLength) {
      TellCut(blueprints, groups, findings);
      return;
    }
  }
}

}  // namespace checkconfig
