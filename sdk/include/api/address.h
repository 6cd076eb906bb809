#pragma once

#include <string>

#include "api/export.h"

// The game's functions and fields, reached by name ("Class.Member").
// With a name alone: the address of a game function, called with the object first.
CAIRN_HOST_API void* GetAddress(const std::string& name);
// With an object and a name: the address of that field inside the object.
CAIRN_HOST_API void* GetAddress(const void* base, const std::string& name);
