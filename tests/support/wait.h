#pragma once
// Waits on a condition with a deadline, instead of sleeping for a guess.
//
//   ASSERT_TRUE(qxr::test::waitUntil([&] { return emulator.framesIn().size() >= 3; }))
//       << emulator.logText();
#include <functional>

namespace qxr::test {

// Long enough for a loaded machine; a wait that ends by its deadline is a
// failure of the test, never a measure of speed.
constexpr int kWaitDeadlineMs = 20000;

// Looks at `condition` every `pollMs` until it holds (true) or the deadline
// has passed (false, after one last look).
bool waitUntil(const std::function<bool()>& condition, int deadlineMs = kWaitDeadlineMs, int pollMs = 2);

}  // namespace qxr::test
