// Placeholder until the test sequences land.
#include "link/testsequences.h"

namespace qxr {

void RunTestButton(Link&, int) {}

}  // namespace qxr
