#pragma once
// The fixed test sequences of the hidden buttons Button1-Button6.
#include "link/link.h"

namespace qxr {

// Runs the sequence of test button `button` (1-6); Button1 does nothing.
void RunTestButton(Link& link, int button);

}  // namespace qxr
