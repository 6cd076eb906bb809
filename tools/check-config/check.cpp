#include "check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <variant>

#include <fmt/format.h>

#include "commands/commands.h"
#include "config/settings.h"
#include "findings.h"
#include "group_checks.h"
#include "host/text.h"
#include "near_limit_checks.h"
#include "near_miss.h"
#include "number_checks.h"
#include "plugin_reads.h"
#include "reply_length.h"
#include "team_checks.h"
#include "template_checks.h"
#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Json;
using cairnward::Setting;
using cairnward::SettingKind;
using cairnward::WhenAbsent;
namespace settings = cairnward::settings;

std::size_t DepthOf(const Setting& setting) {
  return setting.parent != nullptr ? 1 + DepthOf(*setting.parent) : 1;
}

// Every problem is told at a setting or at a member beside one, so the
// text is mapped no deeper than the table goes.
std::size_t ReportedDepth() {
  std::size_t deepest = 0;
  for (const Setting* setting : settings::kAll) {
    deepest = std::max(deepest, DepthOf(*setting));
  }
  return deepest;
}

// Editors find the file's schema through this member; the plug-in never
// reads it.
constexpr std::string_view kSchemaMember = "$schema";

std::string_view KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::kObject:
      return "an object";
    case SettingKind::kBoolean:
      return "true or false";
    case SettingKind::kInteger:
      return "a whole number";
    case SettingKind::kNumber:
      return "a number";
    case SettingKind::kString:
      return "a string";
    case SettingKind::kStringList:
      return "a list of strings";
  }
  return "";
}

std::string TypeName(const Json& value) {
  if (value.is_null()) {
    return "null";
  }
  const std::string name = value.type_name();
  const bool vowel = std::string_view("aeiou").find(name.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + name;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

class Checker {
 public:
  explicit Checker(std::string_view text)
      : text_(text), map_(MapSource(text, ReportedDepth())), findings_(text, map_) {}

  std::vector<Problem> Run() {
    try {
      root_ = Json::parse(text_);
    } catch (const Json::parse_error& e) {
      Unreadable("The text stops being valid JSON here", e);
      return findings_.Sorted();
    } catch (const Json::exception& e) {
      // A number beyond the range of a double.
      Unreadable("The JSON library cannot read the value here", e);
      return findings_.Sorted();
    }
    for (const DuplicateMember& duplicate : map_.duplicates) {
      findings_.AddAt(
          Severity::kWarning, duplicate.pointer, duplicate.first_offset,
          fmt::format("{} is given again at line {}; the plug-in uses the last one.",
                      duplicate.pointer, PositionOf(text_, duplicate.last_offset).line));
    }
    if (root_.is_object()) {
      CheckObject(root_, nullptr, "", {});
    } else {
      const std::string failure =
          ErrorOf([&] { ReadLikeThePlugin(root_, settings::kGeneral, {}, false); });
      findings_.AddAt(Severity::kError, "", map_.root_offset,
                      fmt::format("The top level must be an object, but is {}: {}{}",
                                  TypeName(root_), settings::kFileRefused, Logs(failure)));
    }
    if (root_.is_object()) {
      CheckGroups(root_, findings_);
      CheckTeamIds(root_, findings_);
      CheckNearLimitText(root_, findings_);
    }
    CheckReply(root_, findings_);
    return findings_.Sorted();
  }

 private:
  // The file fails the load's parse. The plug-in logs the parser's text
  // with the bytes it quotes made readable.
  void Unreadable(std::string_view what, const Json::exception& error) {
    const std::string& near = map_.failure_pointer;
    findings_.AddAt(Severity::kError, near, map_.failure_offset,
                    fmt::format("{}{}, so {}. The plug-in logs {}.", what,
                                near.empty() ? "" : " (near " + near + ")", settings::kFileRefused,
                                Quoted(cairnward::ReadableUtf8(error.what()))));
  }

  void CheckObject(const Json& object, const Setting* self, const std::string& pointer,
                   std::string_view member) {
    const Setting* any_member = nullptr;
    for (const Setting* setting : settings::kAll) {
      if (setting->parent != self) {
        continue;
      }
      if (setting->name == cairnward::kAnyMember) {
        any_member = setting;
        continue;
      }
      const std::string at = pointer + "/" + PointerToken(setting->name);
      const auto it = object.find(setting->name);
      if (it == object.end()) {
        Missing(*setting, at, member, "is missing");
      } else {
        Present(*setting, *it, at, member);
      }
    }
    if (any_member == &settings::kBlueprint) {
      CheckBlueprints(object, *any_member, pointer);
      return;
    }
    if (any_member != nullptr) {
      for (const auto& item : object.items()) {
        const std::string at = pointer + "/" + PointerToken(item.key());
        CheckNamedMember(*any_member, item.key(), at);
        Present(*any_member, item.value(), at, item.key());
      }
      return;
    }
    for (const auto& item : object.items()) {
      if (!Knows(self, item.key()) && !(self == nullptr && item.key() == kSchemaMember)) {
        Unknown(self, item.key(), pointer + "/" + PointerToken(item.key()));
      }
    }
  }

  void Missing(const Setting& setting, const std::string& at, std::string_view member,
               std::string_view what) {
    switch (setting.absent) {
      case WhenAbsent::kFine:
        return;
      case WhenAbsent::kWarning:
        findings_.Add(Severity::kWarning, at, fmt::format("{}: {}.", what, setting.if_absent));
        return;
      case WhenAbsent::kError:
        const std::string failure = PluginFailure(setting, member, true);
        // With a default, only the reads that require it fail.
        const bool has_default = !std::holds_alternative<std::monostate>(setting.fallback);
        findings_.Add(Severity::kError, at,
                      fmt::format("{}: {}. {}{}", what, setting.if_absent, ReadAt(setting),
                                  has_default ? "; where it is required, the plug-in logs " +
                                                    Quoted(failure) + "."
                                              : Logs(failure)));
        return;
    }
  }

  void Present(const Setting& setting, const Json& value, const std::string& at,
               std::string_view member) {
    if (setting.kind == SettingKind::kObject) {
      PresentObject(setting, value, at, member);
      return;
    }
    std::string failure = ErrorOf([&] { ReadValue(setting.kind, value); });
    if (!failure.empty()) {
      if (setting.read_with_file) {
        failure = PluginFailure(setting, member, false);
      }
      findings_.Add(Severity::kError, at,
                    fmt::format("must be {}, but is {}: {}. {}{}", KindName(setting.kind),
                                TypeName(value), setting.if_wrong, ReadAt(setting), Logs(failure)));
      return;
    }
    switch (setting.kind) {
      case SettingKind::kInteger:
        CheckInteger(setting, value, at, text_, findings_);
        break;
      case SettingKind::kNumber:
        CheckNumber(setting, value, at, findings_);
        break;
      case SettingKind::kString:
        CheckString(setting, value.get<std::string>(), at);
        break;
      case SettingKind::kStringList:
        for (std::size_t i = 0; i < value.size(); ++i) {
          CheckBlueprintName(value[i].get<std::string>(), at + "/" + std::to_string(i));
        }
        break;
      case SettingKind::kBoolean:
      case SettingKind::kObject:
        break;
    }
  }

  // What the plug-in logs when it reads the setting; a setting read with the
  // file fails the read of the whole file.
  std::string PluginFailure(const Setting& setting, std::string_view member, bool as_required) {
    if (setting.read_with_file) {
      return LoadFailure(text_);
    }
    return ErrorOf([&] { ReadLikeThePlugin(root_, setting, member, as_required); });
  }

  void PresentObject(const Setting& setting, const Json& value, const std::string& at,
                     std::string_view member) {
    if (value.is_object()) {
      CheckObject(value, &setting, at, member);
      return;
    }
    const bool reads_as_empty = std::holds_alternative<cairnward::EmptyObject>(setting.fallback);
    if (value.is_null() && !reads_as_empty) {
      if (setting.absent == WhenAbsent::kFine) {
        findings_.Add(
            Severity::kWarning, at,
            fmt::format("is null, which reads as missing: {}. Write {{}} or leave it out.",
                        setting.if_absent));
      } else {
        Missing(setting, at, member, "is null, which reads as missing");
      }
      return;
    }
    const std::string failure = PluginFailure(setting, member, false);
    if (failure.empty()) {
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("is {}, not an object. Being empty it names nothing, as {{}} would; write "
                      "{{}}.",
                      TypeName(value)));
      return;
    }
    findings_.Add(Severity::kError, at,
                  fmt::format("must be an object, but is {}: {}. {}{}", TypeName(value),
                              setting.if_wrong, ReadAt(setting), Logs(failure)));
  }

  void CheckString(const Setting& setting, const std::string& text, const std::string& at) {
    if (setting.read_with_file && setting.lowest > 0 && text.empty()) {
      findings_.Add(Severity::kError, at,
                    fmt::format("is empty, but must name something: {}. The plug-in logs {}.",
                                settings::kFileRefused, Quoted(PluginFailure(setting, {}, false))));
    }
    // A text of a few choices is compared whole, and the cluster's texts are
    // sent whole to Redis; every other one ends at a NUL.
    if (setting.choices.empty() && setting.parent != &settings::kCluster &&
        text.find('\0') != std::string::npos) {
      findings_.Add(Severity::kWarning, at,
                    "holds a NUL character (\\u0000): the text ends there.");
    }
    if (&setting == &settings::kShowLimitsCmd) {
      CheckCommandName(std::string_view(text).substr(0, text.find('\0')), at);
    }
    if (!setting.choices.empty() &&
        std::find(setting.choices.begin(), setting.choices.end(), text) == setting.choices.end()) {
      std::string choices;
      for (const std::string_view choice : setting.choices) {
        choices += (choices.empty() ? "" : " or ") + Quoted(choice);
      }
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("is {}, which the plug-in does not know: {}. It must be {}, in exactly "
                      "that case.",
                      Quoted(text), setting.if_other, choices));
    }
    if (setting.is_template) {
      CheckTemplate(root_, setting, at, findings_);
    }
  }

  // The host finds a chat command by the first word of a chat line.
  void CheckCommandName(std::string_view name, const std::string& at) {
    if (name.empty()) {
      findings_.Add(
          Severity::kWarning, at,
          "is empty: the plug-in registers no show-limits chat command and logs an error.");
    } else if (cairnward::HasBlank(name)) {
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("is {}, which holds a blank: a chat command is found by the first word of "
                      "the line, so no player can type this one and show-limits cannot be "
                      "used. Write one word, such as \"/limits\".",
                      Quoted(name)));
    }
  }

  void CheckBlueprints(const Json& structures, const Setting& blueprint,
                       const std::string& pointer) {
    std::map<std::string, std::string> first_by_folded;
    for (const auto& item : structures.items()) {
      const std::string& name = item.key();
      const std::string at = pointer + "/" + PointerToken(name);
      CheckBlueprintName(name, at);
      const auto [first, fresh] = first_by_folded.try_emplace(Folded(name), name);
      if (!fresh) {
        findings_.Add(
            Severity::kWarning, at,
            fmt::format("differs from {0} only in letter case. The two share one count, kept "
                        "under {0}; a placement is limited by the Count of the member that "
                        "matches its path exactly (9999 when neither does), tribe joins and "
                        "show-limits by {0}'s. Keep one, spelt as GetBp shows it.",
                        Quoted(first->second)));
      }
      Present(blueprint, item.value(), at, name);
    }
  }

  void CheckBlueprintName(const std::string& name, const std::string& at) {
    constexpr std::string_view kPrefix = "Blueprint'";
    constexpr std::string_view kNoMatch = "so no structure matches it and it limits nothing.";
    if (name.find('\0') != std::string::npos) {
      findings_.Add(
          Severity::kWarning, at,
          "holds a NUL character (\\u0000), where the plug-in's blueprint names end, so it "
          "never reads this member's Count and Name: structures counted under it are limited "
          "by 9999, and show-limits shows it with no name.");
    } else if (!IsAscii(name)) {
      findings_.Add(
          Severity::kWarning, at,
          "holds characters beyond ASCII. The plug-in reads each such byte as \"?\", so no "
          "structure matches it, and show-limits shows it with no name and the limit 9999.");
    } else if (name.size() <= kPrefix.size() + 1 || !name.starts_with(kPrefix) ||
               !name.ends_with('\'')) {
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("is not a blueprint path of the form Blueprint'/Game/.../Name.Name' (as "
                      "GetBp shows it), {}",
                      kNoMatch));
    } else if (name.find("Default__") != std::string::npos) {
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("holds \"Default__\", which blueprint paths never do, {}", kNoMatch));
    } else if (name.ends_with("_C'")) {
      findings_.Add(
          Severity::kWarning, at,
          fmt::format("ends in \"_C\", as a class name does; blueprint paths leave the _C out "
                      "(see GetBp), {}",
                      kNoMatch));
    }
  }

  // Names that the plug-in looks up elsewhere in the file, or reads as a team id.
  void CheckNamedMember(const Setting& any_member, const std::string& name, const std::string& at) {
    if (&any_member == &settings::kTeam) {
      CheckTeamKey(name, at, findings_);
    } else if (&any_member == &settings::kTeamStructureCount) {
      if (!NamesMember(settings::kStructures, name)) {
        findings_.Add(Severity::kWarning, at,
                      "names no member of \"Structures\": only blueprints configured there have "
                      "counts of their own, so it limits nothing." +
                          KeySuggestion(settings::kStructures, name));
      }
    } else if (&any_member == &settings::kTeamGroupCount) {
      if (!NamesMember(settings::kGroups, name)) {
        findings_.Add(Severity::kWarning, at,
                      "names no member of \"Groups\", so it limits nothing." +
                          KeySuggestion(settings::kGroups, name));
      }
    }
  }

  bool NamesMember(const Setting& object, const std::string& name) const {
    const auto it = root_.find(object.name);
    return it != root_.end() && it->is_object() && it->contains(name);
  }

  std::string KeySuggestion(const Setting& object, const std::string& name) const {
    const auto it = root_.find(object.name);
    const std::optional<std::string> near =
        it != root_.end() ? NearestKey(name, *it, TypoAllowance(name)) : std::nullopt;
    return near ? fmt::format(" Did you mean {}?", Quoted(*near)) : "";
  }

  static bool Knows(const Setting* self, std::string_view name) {
    const auto& all = settings::kAll;
    return std::any_of(all.begin(), all.end(), [&](const Setting* setting) {
      return setting->parent == self && setting->name == name;
    });
  }

  void Unknown(const Setting* self, std::string_view name, const std::string& at) {
    findings_.Add(Severity::kWarning, at,
                  "is not a setting the plug-in reads; it is ignored." + SuggestionFor(self, name));
  }

  std::string_view text_;
  SourceMap map_;
  Json root_;
  Findings findings_;
};

}  // namespace

std::vector<Problem> CheckConfigText(std::string_view text) {
  return Checker(text).Run();
}

std::vector<Problem> CheckConfigFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::error_code error;
  if (!file.is_open() || std::filesystem::is_directory(path, error)) {
    return {Problem{Severity::kError, "", std::nullopt,
                    fmt::format("The file cannot be opened, so {}. The plug-in logs "
                                "\"Can't open config.json\".",
                                settings::kFileRefused)}};
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return CheckConfigText(text);
}

}  // namespace checkconfig
