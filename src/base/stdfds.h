#pragma once
// Descriptors 0, 1 and 2 belong to the terminal or whatever the shell gave.
// A program started with one of them closed (`2>&-`, a service manager)
// would hand that number to the next file it opens: the serial port would
// become "stderr", and the progress line or the page messages would go down
// the line to the controller as frames. Each program therefore fills the
// gaps with /dev/null first thing, before it opens anything else.
#include <fcntl.h>
#include <unistd.h>

namespace qxr {

// Reopens every closed standard descriptor on /dev/null. Header-only, so
// that the emulator, which links nothing of the core, shares it.
inline void reopenClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    // open() returns the lowest free number, which is `fd` itself here: the
    // ones below it are open (checked in order).
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace qxr
