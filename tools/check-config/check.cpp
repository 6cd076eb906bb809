#include "check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <stdexcept>
#include <system_error>

#include <fmt/args.h>
#include <fmt/format.h>
#include <fmt/xchar.h>

#include "accounting/ledger.h"
#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/commands.h"
#include "messages/messages.h"
#include "messages/push.h"

namespace checkconfig {

// A template argument that notes whether the template showed it.
template <typename T>
struct Watched {
  T value;
  std::size_t index = 0;
  std::vector<bool>* shown = nullptr;
};

}  // namespace checkconfig

template <typename T>
struct fmt::formatter<checkconfig::Watched<T>, char16_t> : fmt::formatter<T, char16_t> {
  template <typename Context>
  auto format(const checkconfig::Watched<T>& watched, Context& ctx) const -> decltype(ctx.out()) {
    (*watched.shown)[watched.index] = true;
    return fmt::formatter<T, char16_t>::format(watched.value, ctx);
  }
};

namespace checkconfig {
namespace {

using cairnward::Json;
using cairnward::Setting;
using cairnward::SettingKind;
using cairnward::TemplateArgument;
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

constexpr std::u16string_view kSampleName = u"Wall";
constexpr std::int32_t kSampleNumber = 3;

using WideArgs = fmt::dynamic_format_arg_store<fmt::buffer_context<char16_t>>;

// The text of the failure `read` ends in, or "" when it passes.
template <typename Read>
std::string ErrorOf(Read&& read) {
  try {
    read();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

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

std::string Quoted(std::string_view text) {
  return fmt::format("\"{}\"", text);
}

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
  return folded;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where the table puts a setting, with the blueprint level spelt out.
std::string TablePointer(const Setting& setting) {
  const std::string parent = setting.parent != nullptr ? TablePointer(*setting.parent) : "";
  return parent + "/" +
         (setting.name == cairnward::kAnyMember ? std::string(setting.member_label)
                                                : PointerToken(setting.name));
}

const Setting* FirstMemberOf(const Setting& object) {
  const auto& all = settings::kAll;
  const auto it =
      std::find_if(all.begin(), all.end(), [&](const Setting* s) { return s->parent == &object; });
  return it != all.end() ? *it : nullptr;
}

// One of the plug-in's typed reads: with the default where the plug-in has
// one, as required where it has none or `as_required` says so (the reads of
// show-limits).
template <typename T>
void ReadSetting(const Json& root, const Setting& setting, std::string_view member,
                 bool as_required) {
  // No number has a default.
  if constexpr (!std::is_same_v<T, float>) {
    if (!as_required && !std::holds_alternative<std::monostate>(setting.fallback)) {
      (void)cairnward::SettingOr<T>(root, setting, member);
      return;
    }
  }
  (void)cairnward::RequiredSetting<T>(root, setting, member);
}

// Reads a setting as the plug-in does and fails where the plug-in fails. An
// object is read through its first member, or by listing its members when
// the administrator names them all.
void ReadLikeThePlugin(const Json& root, const Setting& setting, std::string_view member,
                       bool as_required) {
  switch (setting.kind) {
    case SettingKind::kBoolean:
      ReadSetting<bool>(root, setting, member, as_required);
      return;
    case SettingKind::kInteger:
      ReadSetting<std::int32_t>(root, setting, member, as_required);
      return;
    case SettingKind::kNumber:
      ReadSetting<float>(root, setting, member, as_required);
      return;
    case SettingKind::kString:
      ReadSetting<std::string>(root, setting, member, as_required);
      return;
    case SettingKind::kStringList:
    case SettingKind::kObject:
      break;
  }
  const Setting* first = FirstMemberOf(setting);
  if (first->name == cairnward::kAnyMember) {
    (void)cairnward::LimitedBlueprints(root);
  } else {
    ReadLikeThePlugin(root, *first, member, false);
  }
}

// The typed read that every access of the plug-in ends in.
void ReadValue(SettingKind kind, const Json& value) {
  switch (kind) {
    case SettingKind::kBoolean:
      (void)cairnward::Read<bool>(value);
      return;
    case SettingKind::kInteger:
      (void)cairnward::Read<std::int32_t>(value);
      return;
    case SettingKind::kNumber:
      (void)cairnward::Read<float>(value);
      return;
    case SettingKind::kString:
      (void)cairnward::Read<std::string>(value);
      return;
    case SettingKind::kStringList:
      (void)cairnward::Read<std::vector<std::string>>(value);
      return;
    case SettingKind::kObject:
      return;
  }
}

// Bounded as the plug-in's own formatting is, so that a wide field costs
// the check no more than the plug-in.
void Format(std::u16string_view format, const WideArgs& args) {
  (void)cairnward::VFormatWide(format, args);
}

// Formats the template with values of the types its sender passes.
void FormatWithSamples(std::u16string_view format, std::span<const TemplateArgument> arguments) {
  WideArgs args;
  for (const TemplateArgument& argument : arguments) {
    if (argument.kind == TemplateArgument::Kind::kText) {
      args.push_back(std::u16string(kSampleName));
    } else {
      args.push_back(kSampleNumber);
    }
  }
  Format(format, args);
}

// The arguments a template that formats never shows. Empty too when the
// template uses an argument as a width or precision, which this cannot
// follow.
std::vector<std::size_t> UnshownArguments(std::u16string_view format,
                                          std::span<const TemplateArgument> arguments) {
  std::vector<bool> shown(arguments.size());
  WideArgs args;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].kind == TemplateArgument::Kind::kText) {
      args.push_back(Watched<fmt::basic_string_view<char16_t>>{
          {kSampleName.data(), kSampleName.size()}, i, &shown});
    } else {
      args.push_back(Watched<std::int32_t>{kSampleNumber, i, &shown});
    }
  }
  if (!ErrorOf([&] { Format(format, args); }).empty()) {
    return {};
  }
  std::vector<std::size_t> unshown;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (!shown[i] && !arguments[i].optional) {
      unshown.push_back(i);
    }
  }
  return unshown;
}

std::string ArgumentsNote(const Setting& setting) {
  if (setting.arguments.empty()) {
    return "It gets no arguments, so a {} has nothing to show; write {{ and }} for braces.";
  }
  std::string note = fmt::format("It gets {} arguments:", setting.arguments.size());
  for (std::size_t i = 0; i < setting.arguments.size(); ++i) {
    note += fmt::format("{} {{{}}} {}", i == 0 ? "" : ",", i, setting.arguments[i].meaning);
  }
  return note + ".";
}

std::string ReadAt(const Setting& setting) {
  return fmt::format("It is read {}", setting.read_when);
}

std::string Logs(const std::string& failure) {
  return failure.empty() ? "." : "; the plug-in then logs " + Quoted(failure) + ".";
}

struct Found {
  Problem problem;
  std::size_t offset = 0;
};

class Checker {
 public:
  explicit Checker(std::string_view text) : text_(text), map_(MapSource(text, ReportedDepth())) {}

  std::vector<Problem> Run() {
    try {
      root_ = Json::parse(text_);
    } catch (const Json::parse_error& e) {
      Unreadable("The text stops being valid JSON here", e);
      return Sorted();
    } catch (const Json::exception& e) {
      // A number beyond the range of a double.
      Unreadable("The JSON library cannot read the value here", e);
      return Sorted();
    }
    for (const DuplicateMember& duplicate : map_.duplicates) {
      AddAt(Severity::kWarning, duplicate.pointer, duplicate.first_offset,
            fmt::format("{} is given again at line {}; the plug-in uses the last one.",
                        duplicate.pointer, PositionOf(text_, duplicate.last_offset).line));
    }
    if (root_.is_object()) {
      CheckObject(root_, nullptr, "", {});
    } else {
      const std::string failure =
          ErrorOf([&] { ReadLikeThePlugin(root_, settings::kGeneral, {}, false); });
      AddAt(Severity::kError, "", map_.root_offset,
            fmt::format("The top level must be an object, but is {}: {}{}", TypeName(root_),
                        settings::kFileRefused, Logs(failure)));
    }
    CheckReply();
    return Sorted();
  }

 private:
  // The file fails the load's parse. The plug-in logs the parser's text
  // with the bytes it quotes made readable.
  void Unreadable(std::string_view what, const Json::exception& error) {
    const std::string& near = map_.failure_pointer;
    AddAt(Severity::kError, near, map_.failure_offset,
          fmt::format("{}{}, so {}. The plug-in logs {}.", what,
                      near.empty() ? "" : " (near " + near + ")", settings::kFileRefused,
                      Quoted(cairnward::ReadableUtf8(error.what()))));
  }

  void AddAt(Severity severity, const std::string& pointer, std::size_t offset,
             std::string message) {
    found_.push_back(
        Found{.problem = {severity, pointer, std::nullopt, std::move(message)}, .offset = offset});
  }

  // A problem of one member, told with the member as its subject.
  void Add(Severity severity, const std::string& pointer, std::string_view predicate) {
    AddAt(severity, pointer, OffsetOf(pointer), fmt::format("{} {}", pointer, predicate));
  }

  // A member's own place, or its nearest ancestor's when it is missing.
  std::size_t OffsetOf(std::string pointer) const {
    while (!pointer.empty()) {
      if (const auto it = map_.members.find(pointer); it != map_.members.end()) {
        return it->second;
      }
      pointer.erase(pointer.rfind('/'));
    }
    return map_.root_offset;
  }

  std::vector<Problem> Sorted() {
    std::stable_sort(found_.begin(), found_.end(),
                     [](const Found& a, const Found& b) { return a.offset < b.offset; });
    std::vector<Problem> problems;
    PositionCursor cursor(text_);
    for (Found& found : found_) {
      found.problem.position = cursor.At(found.offset);
      problems.push_back(std::move(found.problem));
    }
    return problems;
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
        Add(Severity::kWarning, at, fmt::format("{}: {}.", what, setting.if_absent));
        return;
      case WhenAbsent::kError:
        const std::string failure = PluginFailure(setting, member, true);
        // With a default, only the reads that require it fail.
        const bool has_default = !std::holds_alternative<std::monostate>(setting.fallback);
        Add(Severity::kError, at,
            fmt::format("{}: {}. {}{}", what, setting.if_absent, ReadAt(setting),
                        has_default
                            ? "; where it is required, the plug-in logs " + Quoted(failure) + "."
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
      Add(Severity::kError, at,
          fmt::format("must be {}, but is {}: {}. {}{}", KindName(setting.kind), TypeName(value),
                      setting.if_wrong, ReadAt(setting), Logs(failure)));
      return;
    }
    switch (setting.kind) {
      case SettingKind::kInteger:
        CheckInteger(setting, value, at);
        break;
      case SettingKind::kNumber:
        CheckNumber(value, at);
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
      return ErrorOf([&] {
        std::istringstream in{std::string(text_)};
        (void)cairnward::ParseConfig(in);
      });
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
        Add(Severity::kWarning, at,
            fmt::format("is null, which reads as missing: {}. Write {{}} or leave it out.",
                        setting.if_absent));
      } else {
        Missing(setting, at, member, "is null, which reads as missing");
      }
      return;
    }
    const std::string failure = PluginFailure(setting, member, false);
    if (failure.empty()) {
      Add(Severity::kWarning, at,
          fmt::format("is {}, not an object. Being empty it names nothing, as {{}} would; write "
                      "{{}}.",
                      TypeName(value)));
      return;
    }
    Add(Severity::kError, at,
        fmt::format("must be an object, but is {}: {}. {}{}", TypeName(value), setting.if_wrong,
                    ReadAt(setting), Logs(failure)));
  }

  void CheckInteger(const Setting& setting, const Json& value, const std::string& at) {
    const auto read = cairnward::Read<std::int32_t>(value);
    if (value.is_boolean()) {
      Add(Severity::kWarning, at,
          fmt::format("is {}, which the plug-in reads as {}; write a number.", value.dump(), read));
    } else if (const double given = value.get<double>(); given != read) {
      Add(Severity::kWarning, at,
          std::trunc(given) != given
              ? fmt::format("has a fraction, which the plug-in drops: it reads {}.", read)
              : fmt::format("is beyond the 32-bit range: the plug-in reads {}.", read));
    }
    if (setting.read_with_file && (read < setting.lowest || read > setting.highest)) {
      Add(Severity::kError, at,
          fmt::format("is {}, but must be a whole number {}: {}. The plug-in logs {}.", read,
                      setting.highest == std::numeric_limits<std::int32_t>::max()
                          ? fmt::format("of at least {}", setting.lowest)
                          : fmt::format("from {} to {}", setting.lowest, setting.highest),
                      settings::kFileRefused, Quoted(PluginFailure(setting, {}, false))));
    }
    if (&setting == &settings::kMaxAmount && read <= 0) {
      Add(Severity::kWarning, at,
          fmt::format("is {}: every placement is refused (exempt administrators aside).", read));
    }
  }

  void CheckNumber(const Json& value, const std::string& at) {
    if (value.is_boolean()) {
      Add(Severity::kWarning, at,
          fmt::format("is {}, which the plug-in reads as {}; write a number.", value.dump(),
                      cairnward::Read<float>(value)));
    } else if (std::abs(value.get<double>()) > std::numeric_limits<float>::max()) {
      Add(Severity::kWarning, at,
          fmt::format("is beyond the range of the plug-in's numbers: it reads {}.",
                      cairnward::Read<float>(value)));
    }
  }

  void CheckString(const Setting& setting, const std::string& text, const std::string& at) {
    if (setting.read_with_file && setting.lowest > 0 && text.empty()) {
      Add(Severity::kError, at,
          fmt::format("is empty, but must name something: {}. The plug-in logs {}.",
                      settings::kFileRefused, Quoted(PluginFailure(setting, {}, false))));
    }
    // A text of a few choices is compared whole, and the cluster's texts are
    // sent whole to Redis; every other one ends at a NUL.
    if (setting.choices.empty() && setting.parent != &settings::kCluster &&
        text.find('\0') != std::string::npos) {
      Add(Severity::kWarning, at, "holds a NUL character (\\u0000): the text ends there.");
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
      Add(Severity::kWarning, at,
          fmt::format("is {}, which the plug-in does not know: {}. It must be {}, in exactly "
                      "that case.",
                      Quoted(text), setting.if_other, choices));
    }
    if (setting.is_template) {
      CheckTemplate(setting, at);
    }
  }

  // The host finds a chat command by the first word of a chat line.
  void CheckCommandName(std::string_view name, const std::string& at) {
    if (name.empty()) {
      Add(Severity::kWarning, at,
          "is empty: the plug-in registers no show-limits chat command and logs an error.");
    } else if (cairnward::HasBlank(name)) {
      Add(Severity::kWarning, at,
          fmt::format("is {}, which holds a blank: a chat command is found by the first word of "
                      "the line, so no player can type this one and show-limits cannot be "
                      "used. Write one word, such as \"/limits\".",
                      Quoted(name)));
    }
  }

  void CheckTemplate(const Setting& setting, const std::string& at) {
    const std::u16string format = cairnward::MessageText(root_, setting.name);
    try {
      FormatWithSamples(format, setting.arguments);
    } catch (const std::length_error& e) {
      Add(Severity::kError, at,
          fmt::format("is a template whose text passes the {} characters the plug-in makes of "
                      "one template: {}. {}{}",
                      cairnward::kMaxFormattedLength, setting.if_wrong, ReadAt(setting),
                      Logs(e.what())));
      return;
    } catch (const std::exception& e) {
      Add(Severity::kError, at,
          fmt::format("is a template that the formatter rejects ({}): {}. {}. {}", e.what(),
                      setting.if_wrong, ReadAt(setting), ArgumentsNote(setting)));
      return;
    }
    const std::vector<std::size_t> unshown = UnshownArguments(format, setting.arguments);
    if (unshown.empty()) {
      return;
    }
    std::string names;
    for (const std::size_t i : unshown) {
      names +=
          fmt::format("{}{{{}}} ({})", names.empty() ? "" : ", ", i, setting.arguments[i].meaning);
    }
    Add(Severity::kWarning, at, fmt::format("never shows {}. {}", names, ArgumentsNote(setting)));
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
        Add(Severity::kWarning, at,
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
      Add(Severity::kWarning, at,
          "holds a NUL character (\\u0000), where the plug-in's blueprint names end, so it "
          "never reads this member's Count and Name: structures counted under it are limited "
          "by 9999, and show-limits shows it with no name.");
    } else if (!IsAscii(name)) {
      Add(Severity::kWarning, at,
          "holds characters beyond ASCII. The plug-in reads each such byte as \"?\", so no "
          "structure matches it, and show-limits shows it with no name and the limit 9999.");
    } else if (name.size() <= kPrefix.size() + 1 || !name.starts_with(kPrefix) ||
               !name.ends_with('\'')) {
      Add(Severity::kWarning, at,
          fmt::format("is not a blueprint path of the form Blueprint'/Game/.../Name.Name' (as "
                      "GetBp shows it), {}",
                      kNoMatch));
    } else if (name.find("Default__") != std::string::npos) {
      Add(Severity::kWarning, at,
          fmt::format("holds \"Default__\", which blueprint paths never do, {}", kNoMatch));
    } else if (name.ends_with("_C'")) {
      Add(Severity::kWarning, at,
          fmt::format("ends in \"_C\", as a class name does; blueprint paths leave the _C out "
                      "(see GetBp), {}",
                      kNoMatch));
    }
  }

  // Names that the plug-in looks up elsewhere in the file, or reads as a team id.
  void CheckNamedMember(const Setting& any_member, const std::string& name, const std::string& at) {
    if (&any_member == &settings::kTeam) {
      std::int32_t id = 0;
      const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
      if (!name.empty() && error == std::errc::result_out_of_range &&
          end == name.data() + name.size()) {
        Add(Severity::kWarning, at,
            "is out of range for a team id (a whole number from -2147483648 to 2147483647), so "
            "it names no team and the plug-in ignores it.");
      } else if (name.empty() || error != std::errc() || end != name.data() + name.size()) {
        Add(Severity::kWarning, at,
            "is not a team id (a whole number such as 1234567890), so it names no team and the "
            "plug-in ignores it.");
      } else if (id <= cairnward::kHighestUncountedTeam) {
        Add(Severity::kWarning, at,
            fmt::format("names team {}, but teams up to {} are never counted, so it limits "
                        "nothing.",
                        id, cairnward::kHighestUncountedTeam));
      }
    } else if (&any_member == &settings::kTeamStructureCount) {
      if (!NamesMember(settings::kStructures, name)) {
        Add(Severity::kWarning, at,
            "names no member of \"Structures\": only blueprints configured there have counts "
            "of their own, so it limits nothing.");
      }
    } else if (&any_member == &settings::kTeamGroupCount) {
      if (!NamesMember(settings::kGroups, name)) {
        Add(Severity::kWarning, at, "names no member of \"Groups\", so it limits nothing.");
      }
    }
  }

  // The show-limits reply of a team at every limit: one line per ledger
  // entry, then the total line. The check stops where the plug-in's
  // show-limits fails, or once the reply is long enough to be cut. What
  // cannot be read here is told where it is read.
  void CheckReply() {
    std::int32_t maximum = 0;
    std::map<std::string, ReplyEntry> entries;
    const bool readable =
        Formats(settings::kShowLimitMsg) && Formats(settings::kTotalLimitMsg) &&
        ErrorOf([&] {
          maximum = cairnward::RequiredSetting<std::int32_t>(root_, settings::kMaxAmount);
          entries = ReplyEntries();
        }).empty();
    if (!readable) {
      return;
    }
    const std::optional<std::size_t> total_line =
        PartLength(TablePointer(settings::kTotalLimitMsg),
                   fmt::format("with MaxAmount {}, for a team at that total", maximum),
                   cairnward::MessageText(root_, settings::kTotalLimitMsg.name),
                   std::max(maximum, 0), maximum);
    if (!total_line) {
      return;
    }
    std::size_t length = *total_line;
    const std::u16string line_format = cairnward::MessageText(root_, settings::kShowLimitMsg.name);
    for (const auto& item : entries) {
      const ReplyEntry& entry = item.second;
      const std::optional<std::size_t> line =
          PartLength(TablePointer(settings::kStructures) + "/" + PointerToken(entry.member),
                     "with its Name and Count, for a team at that limit", line_format, entry.name,
                     std::max(entry.limit, 0), entry.limit);
      if (!line) {
        return;
      }
      length += *line;
      if (length > cairnward::kMaxReplyLength) {
        Add(Severity::kWarning, TablePointer(settings::kStructures),
            fmt::format("names {} blueprints, and the show-limits reply of a team at every limit "
                        "passes {} characters with these lines: the plug-in cuts it there and "
                        "ends it with \"…\".",
                        entries.size(), cairnward::kMaxReplyLength));
        return;
      }
    }
  }

  bool NamesMember(const Setting& object, const std::string& name) const {
    const auto it = root_.find(object.name);
    return it != root_.end() && it->is_object() && it->contains(name);
  }

  struct ReplyEntry {
    std::string member;  // the member that made the ledger entry
    std::u16string name;
    std::int32_t limit = 0;
  };

  // The ledger's entries, by its key folded, as show-limits reads their
  // settings: through the key, which ends at a NUL and holds "?" for every
  // byte beyond ASCII.
  std::map<std::string, ReplyEntry> ReplyEntries() const {
    std::map<std::string, ReplyEntry> entries;
    for (std::string& member : cairnward::LimitedBlueprints(root_)) {
      const std::string key =
          cairnward::ToUtf8(cairnward::AsciiWiden(member.substr(0, member.find('\0'))));
      if (entries.contains(Folded(key))) {
        continue;
      }
      const auto name = cairnward::SettingOr<std::string>(root_, settings::kName, key);
      entries.emplace(
          Folded(key),
          ReplyEntry{.member = std::move(member),
                     .name = cairnward::FromUtf8(name.substr(0, name.find('\0'))),
                     .limit = cairnward::SettingOr<std::int32_t>(root_, settings::kCount, key)});
    }
    return entries;
  }

  bool Formats(const Setting& setting) const {
    return ErrorOf([&] {
             FormatWithSamples(cairnward::MessageText(root_, setting.name), setting.arguments);
           })
        .empty();
  }

  // The length of one part of the show-limits reply, or nothing when the
  // plug-in cannot make it.
  template <typename... Args>
  std::optional<std::size_t> PartLength(const std::string& at, std::string_view given,
                                        std::u16string_view format, const Args&... args) {
    try {
      return cairnward::FormatWide(format, args...).size();
    } catch (const std::exception& e) {
      Add(Severity::kError, at,
          fmt::format("gives show-limits a line it cannot make {} ({}): {}.", given, e.what(),
                      settings::kShowLimitsFails));
      return std::nullopt;
    }
  }

  static bool Knows(const Setting* self, std::string_view name) {
    const auto& all = settings::kAll;
    return std::any_of(all.begin(), all.end(), [&](const Setting* setting) {
      return setting->parent == self && setting->name == name;
    });
  }

  void Unknown(const Setting* self, std::string_view name, const std::string& at) {
    std::string message = "is not a setting the plug-in reads; it is ignored.";
    const auto& all = settings::kAll;
    const auto same_name = [&](const Setting* setting) {
      return Folded(setting->name) == Folded(name);
    };
    // A name the same object knows first: several objects have a "Count".
    auto known = std::find_if(all.begin(), all.end(), [&](const Setting* setting) {
      return setting->parent == self && same_name(setting);
    });
    if (known == all.end()) {
      known = std::find_if(all.begin(), all.end(), same_name);
    }
    if (known != all.end() && (*known)->parent == self) {
      message += fmt::format(" Names are case-sensitive: did you mean {}?", Quoted((*known)->name));
    } else if (known != all.end()) {
      message += fmt::format(" Did you mean {}?", Quoted(TablePointer(**known)));
    }
    Add(Severity::kWarning, at, std::move(message));
  }

  std::string_view text_;
  SourceMap map_;
  Json root_;
  std::vector<Found> found_;
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
