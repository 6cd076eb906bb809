#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

// Message templates, formatted as the plug-in formats them: with arguments
// of the kinds, and in the number, that the settings table gives each one.
namespace checkconfig {

// Whether the template formats with sample values of its arguments.
bool TemplateFormats(std::u16string_view format, const cairnward::Setting& setting);

// The template formatted with the values its sender passes: each text
// argument is `text`, the integer arguments take `numbers` in order. Fails
// as the plug-in's formatting does.
std::u16string FormatWithValues(std::u16string_view format, const cairnward::Setting& setting,
                                std::u16string_view text, std::span<const std::int32_t> numbers);

// The template under the setting's member `at`: one the formatter rejects or
// that passes the plug-in's length, and one that never shows an argument it
// is given.
void CheckTemplate(const cairnward::Json& root, const cairnward::Setting& setting,
                   const std::string& at, Findings& findings);

}  // namespace checkconfig
