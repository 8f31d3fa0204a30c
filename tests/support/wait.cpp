#include "support/wait.h"

#include <chrono>
#include <thread>

namespace qxr::test {

bool waitUntil(const std::function<bool()>& condition, int deadlineMs, int pollMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
  return condition();
}

}  // namespace qxr::test
