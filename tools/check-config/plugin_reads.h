#pragma once

#include <string>
#include <string_view>

#include "config/json_access.h"
#include "config/settings.h"

// The plug-in's own reads of a setting, for the checker to fail where the
// plug-in fails and to quote what it logs.
namespace checkconfig {

// Reads a setting as the plug-in does and fails where the plug-in fails: with
// the default where the plug-in has one, as required where it has none or
// `as_required` says so (the reads of show-limits). An object is read through
// its first member, or by listing its members when the administrator names
// them all.
void ReadLikeThePlugin(const cairnward::Json& root, const cairnward::Setting& setting,
                       std::string_view member, bool as_required);

// The typed read that every access of the plug-in ends in.
void ReadValue(cairnward::SettingKind kind, const cairnward::Json& value);

// What a load of the whole text logs, or "" when it loads.
std::string LoadFailure(std::string_view text);

}  // namespace checkconfig
