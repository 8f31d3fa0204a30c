// Placeholder until the search lands.
#include "link/detect.h"

namespace qxr {

bool AutoDetect(Link&, DetectTarget&) { return false; }

}  // namespace qxr
