#include "number_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include <fmt/format.h>

#include "plugin_reads.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
using cairnward::Setting;
namespace settings = cairnward::settings;

constexpr auto kLeast = std::numeric_limits<std::int32_t>::min();
constexpr auto kMost = std::numeric_limits<std::int32_t>::max();

bool HasRange(const Setting& setting) {
  return setting.lowest != kLeast || setting.highest != kMost;
}

std::string RangeOf(const Setting& setting) {
  return setting.highest == kMost ? fmt::format("at least {}", setting.lowest)
                                  : fmt::format("from {} to {}", setting.lowest, setting.highest);
}

// The limits that refuse a placement at their value, and what 0 or less does.
struct LimitSetting {
  const Setting* setting;
  std::string_view at_most_zero;
};

const std::array<LimitSetting, 3> kLimitSettings{{
    {&settings::kMaxAmount, "every placement is refused (exempt administrators aside)"},
    {&settings::kCount,
     "every placement of this blueprint is refused (exempt administrators aside), and a team "
     "that owns one is above the limit and may place nothing at all"},
    {&settings::kGroupCount,
     "every placement of the group's blueprints is refused (exempt administrators aside), and a "
     "team that owns one is above the limit and may place nothing at all"},
}};

void CheckLimit(const Setting& setting, std::int32_t read, const std::string& at,
                Findings& findings) {
  const auto limit = std::find_if(kLimitSettings.begin(), kLimitSettings.end(),
                                  [&](const LimitSetting& l) { return l.setting == &setting; });
  if (limit == kLimitSettings.end() || read > 0) {
    return;
  }
  findings.Add(Severity::kWarning, at,
               fmt::format("is {}: {}{}", read, limit->at_most_zero,
                           read < 0 ? "; below 0, every tribe merge and invitation is refused as "
                                      "well, since even two teams that own none are above it."
                                    : "."));
}

}  // namespace

void CheckInteger(const Setting& setting, const Json& value, const std::string& at,
                  std::string_view text, Findings& findings) {
  const auto read = cairnward::Read<std::int32_t>(value);
  if (value.is_boolean()) {
    findings.Add(
        Severity::kWarning, at,
        fmt::format("is {}, which the plug-in reads as {}; write a number.", value.dump(), read));
  } else if (const double given = value.get<double>(); given != read) {
    findings.Add(
        Severity::kWarning, at,
        std::trunc(given) != given
            ? fmt::format("has a fraction, which the plug-in drops: it reads {}.", read)
            : fmt::format("is out of range of a 32-bit whole number ({} to {}): the plug-in "
                          "reads {}.",
                          kLeast, kMost, read));
  }
  if (setting.read_with_file && (read < setting.lowest || read > setting.highest)) {
    findings.Add(
        Severity::kError, at,
        fmt::format("is {}, out of range: it must be a whole number {}, so {}. The "
                    "plug-in logs {}.",
                    read, RangeOf(setting), settings::kFileRefused, Quoted(LoadFailure(text))));
  }
  CheckLimit(setting, read, at, findings);
}

void CheckNumber(const Setting& setting, const Json& value, const std::string& at,
                 Findings& findings) {
  const float read = cairnward::Read<float>(value);
  if (value.is_boolean()) {
    findings.Add(
        Severity::kWarning, at,
        fmt::format("is {}, which the plug-in reads as {}; write a number.", value.dump(), read));
  } else if (std::abs(value.get<double>()) > std::numeric_limits<float>::max()) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("is out of range of the plug-in's numbers (32-bit, at most {:g} "
                             "either way): it reads {}.",
                             std::numeric_limits<float>::max(), read));
  } else if (HasRange(setting) && (read < static_cast<float>(setting.lowest) ||
                                   read > static_cast<float>(setting.highest))) {
    findings.Add(Severity::kWarning, at,
                 fmt::format("is {}, out of range: it should be {}. {}.", value.dump(),
                             RangeOf(setting), setting.if_other));
  }
}

}  // namespace checkconfig
