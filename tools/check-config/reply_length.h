#pragma once

#include "config/json_access.h"
#include "config/settings.h"
#include "findings.h"

namespace checkconfig {

// The show-limits reply of a team at every limit: one line per ledger entry,
// one per group, then the total line, each formatted with the arguments
// show-limits passes. Tells a line the plug-in cannot make, and a reply long
// enough to be cut. What cannot be read here is told where it is read.
void CheckReply(const cairnward::Json& root, Findings& findings);

}  // namespace checkconfig
