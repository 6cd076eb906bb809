#pragma once

#include "standin/objects.h"

namespace standin {

// Every game object that exists right now, so that a pointer the plug-in
// hands back can be proven alive before the host touches it.
void MarkLive(SimObject* object);
void MarkDead(SimObject* object);
SimObject* FindLive(const void* address);

}  // namespace standin
