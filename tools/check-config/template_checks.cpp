#include "template_checks.h"

#include <cstddef>
#include <stdexcept>
#include <vector>

#include <fmt/args.h>
#include <fmt/format.h>
#include <fmt/xchar.h>

#include "messages/messages.h"
#include "messages/push.h"
#include "wording.h"

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
using cairnward::TemplateArgument;
using WideArgs = fmt::dynamic_format_arg_store<fmt::buffer_context<char16_t>>;

constexpr std::u16string_view kSampleName = u"Wall";
constexpr std::int32_t kSampleNumber = 3;

bool IsText(const TemplateArgument& argument) {
  return argument.kind == TemplateArgument::Kind::kText;
}

// Bounded as the plug-in's own formatting is, so that a wide field costs the
// check no more than the plug-in.
std::u16string Format(std::u16string_view format, const WideArgs& args) {
  return cairnward::VFormatWide(format, args);
}

// The arguments a template that formats never shows. Empty too when the
// template uses an argument as a width or precision, which this cannot
// follow.
std::vector<std::size_t> UnshownArguments(std::u16string_view format,
                                          std::span<const TemplateArgument> arguments) {
  std::vector<bool> shown(arguments.size());
  WideArgs args;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (IsText(arguments[i])) {
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

void CheckShown(const Setting& setting, std::u16string_view format, const std::string& at,
                Findings& findings) {
  const std::vector<std::size_t> unshown = UnshownArguments(format, setting.arguments);
  if (unshown.empty()) {
    return;
  }
  std::string names;
  for (const std::size_t i : unshown) {
    names +=
        fmt::format("{}{{{}}} ({})", names.empty() ? "" : ", ", i, setting.arguments[i].meaning);
  }
  findings.Add(Severity::kWarning, at,
               fmt::format("never shows {}. {}", names, ArgumentsNote(setting)));
}

}  // namespace

std::u16string FormatWithValues(std::u16string_view format, const Setting& setting,
                                std::u16string_view text, std::span<const std::int32_t> numbers) {
  WideArgs args;
  std::size_t next = 0;
  for (const TemplateArgument& argument : setting.arguments) {
    if (IsText(argument)) {
      args.push_back(std::u16string(text));
    } else {
      args.push_back(numbers[next++]);
    }
  }
  return Format(format, args);
}

bool TemplateFormats(std::u16string_view format, const Setting& setting) {
  const std::vector<std::int32_t> numbers(setting.arguments.size(), kSampleNumber);
  return ErrorOf([&] { FormatWithValues(format, setting, kSampleName, numbers); }).empty();
}

void CheckTemplate(const Json& root, const Setting& setting, const std::string& at,
                   Findings& findings) {
  const std::u16string format = cairnward::MessageText(root, setting.name);
  const std::vector<std::int32_t> numbers(setting.arguments.size(), kSampleNumber);
  try {
    (void)FormatWithValues(format, setting, kSampleName, numbers);
  } catch (const std::length_error& e) {
    findings.Add(Severity::kError, at,
                 fmt::format("is a template whose text passes the {} characters the plug-in makes "
                             "of one template: {}. {}{}",
                             cairnward::kMaxFormattedLength, setting.if_wrong, ReadAt(setting),
                             Logs(e.what())));
    return;
  } catch (const std::exception& e) {
    findings.Add(Severity::kError, at,
                 fmt::format("is a template that the formatter rejects ({}): {}. {}. {}", e.what(),
                             setting.if_wrong, ReadAt(setting), ArgumentsNote(setting)));
    return;
  }
  CheckShown(setting, format, at, findings);
}

}  // namespace checkconfig
