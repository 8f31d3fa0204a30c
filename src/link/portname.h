#pragma once
// Where a port name of the port list ("COM2", "\\.\COM12") leads on Linux.
#include <string>

namespace qxr {

// Drops a "\\.\" prefix; an entry of that name in `portDirectory` (usually a
// symbolic link to /dev/ttyUSB0, /dev/serial/by-id/... or a pseudo-terminal,
// matched ignoring case) wins; otherwise "COMn" is /dev/ttyS(n-1); any other
// name is taken as a path.
std::string resolvePortDevice(const std::string& name, const std::string& portDirectory);

}  // namespace qxr
