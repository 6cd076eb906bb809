#pragma once

#include <string_view>

#include "api/fstring.h"
#include "api/game_types.h"

namespace cairnward {

// The blueprint path of a game object's class, as the configuration names
// structures: "Blueprint'" + the default object's path without a final "_C" +
// "'", with every "Default__" taken out. Empty for a null object, a null class
// or a full name without a space.
FString BlueprintPathOf(const UObjectBase* object);

// The same from the default object's full name ("<class> <object path>").
FString BlueprintPathFromFullName(std::u16string_view full_name);

// Whether the path names a C4 charge ("C4Charge" in any letter case). Charges
// are counted nowhere: neither by the hooks nor by a recount.
bool IsC4Charge(std::u16string_view path);

}  // namespace cairnward
