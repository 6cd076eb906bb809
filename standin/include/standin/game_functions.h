#pragma once

namespace standin {

// Registers every game function and field of game_members.h and fmemory.h
// with the host's address registry. Idempotent.
void RegisterGameFunctions();

}  // namespace standin
