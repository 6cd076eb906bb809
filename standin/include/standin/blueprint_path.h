#pragma once

#include <string>
#include <string_view>

namespace standin {

// How the configuration, the ledger and the game's text name a blueprint:
// Blueprint'/Game/Structures/Wall.Wall' for the object path
// /Game/Structures/Wall.Wall.
std::string BlueprintPath(std::string_view object_path);
std::u16string BlueprintPath16(std::string_view object_path);

// The object path inside a blueprint path; any other text as it is.
std::string ObjectPathOf(std::string_view text);

}  // namespace standin
