#include "accounting/recount.h"

namespace cairnward {

void UpdateStructureCountAll() {}

}  // namespace cairnward
