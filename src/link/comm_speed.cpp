// Line speeds that termios has no constant for (14400, 56000, 128000, 256000
// bits per second) go through termios2 with BOTHER. Kept apart because the
// kernel's termios headers clash with the C library's.
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace qxr::detail {

// 0 on success, else the errno of the failed call.
int setCustomSpeed(int fd, unsigned bitsPerSecond) {
  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~CBAUD;
  settings.c_cflag |= BOTHER;
  settings.c_cflag &= ~(CBAUD << IBSHIFT);
  settings.c_cflag |= BOTHER << IBSHIFT;
  settings.c_ispeed = bitsPerSecond;
  settings.c_ospeed = bitsPerSecond;
  if (::ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

}  // namespace qxr::detail
