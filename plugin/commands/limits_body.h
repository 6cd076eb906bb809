#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "accounting/team_view.h"
#include "config/json_access.h"

namespace cairnward {

// The body of a team's limits reply, as show-limits and cairnward.limits
// send it: one line per configured blueprint in ledger order, one per group
// in the order of the file, then the total, each against the team's limits.
// Each line gets the count of `counts` and, as its last argument, the local
// count from `here`. Fails with the JSON library's or the
// formatter's error.
std::u16string LimitsBody(const Json& root, std::int32_t team, const TeamView& counts,
                          const TeamView& here, std::int32_t maximum);

// The line added to a limits reply whose numbers are this server's alone
// because the cluster it belongs to cannot be asked now.
inline constexpr std::u16string_view kThisServerOnlyLine =
    u"These numbers are this server's only: the cluster cannot be reached now.";

// Appends kThisServerOnlyLine to a reply as a line of its own.
void AddThisServerOnlyLine(std::u16string& body);

// LimitsBody with the cluster's counts while the cluster can be asked, else
// this server's, then kThisServerOnlyLine when a cluster is configured but
// cannot be asked; never adds a team to the counts.
std::u16string TeamLimitsBody(const Json& root, std::int32_t team);

// The team's total limit as the reply shows it: its team limit, else
// "General" -> "MaxAmount", which is then required.
std::int32_t ShownMaxAmount(const Json& root, std::int32_t team);

}  // namespace cairnward
