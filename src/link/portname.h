#pragma once
// Where a port name of the port list ("COM2", "\\.\COM12") leads on Linux.
#include <string>

namespace qxr {

// Drops a "\\.\" prefix; an entry of that name in `portDirectory` (usually a
// symbolic link to /dev/ttyUSB0, /dev/serial/by-id/... or a pseudo-terminal,
// matched ignoring case) wins; otherwise "COMn" is /dev/ttyS(n-1); any other
// name is taken as a path. An entry that is a symbolic link whose target
// text is a network address ("rfc2217://HOST:PORT", "tcp://HOST:PORT", a
// link that points nowhere) binds the name to that address, which is returned;
// so is such an address given as the name itself.
std::string resolvePortDevice(const std::string& name, const std::string& portDirectory);

// What the port directory binds a port name to, as the port list shows it:
// the target text of its entry's link (a device path or a network address),
// empty when the name has no linked entry.
std::string portBinding(const std::string& name, const std::string& portDirectory);

}  // namespace qxr
