#include "base/host.h"

#include <chrono>
#include <thread>

namespace qxr {

std::uint32_t SystemClock::tickMs() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SystemClock::sleepMs(std::uint32_t ms) {
  if (ms == 0) return;
  // Sleep to an absolute deadline so that interrupted sleeps do not stretch
  // the pause.
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

SystemClock& SystemClock::instance() {
  static SystemClock clock;
  return clock;
}

}  // namespace qxr
