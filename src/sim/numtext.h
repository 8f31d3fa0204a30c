#pragma once
// Fixed-point number text for the simulator's dump and panels. printf's %f
// follows the process locale, which the window toolkit sets from the
// environment; these texts must keep the decimal point whatever the locale.
#include <string>

namespace qxr {

// As printf("%*.*f", width, precision, value) in the C locale.
std::string formatFixed(double value, int width, int precision);

}  // namespace qxr
