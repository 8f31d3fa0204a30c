#pragma once
// What the core's operations need from their surroundings. The main window
// implements these with widgets; qxrtool and the tests implement them in
// memory or on the terminal.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/progress.h"

namespace qxr {

// Pages of the main window; the current one receives the page reports.
enum PageIndex : int { kProgramPage = 0, kParameterPage = 1, kPlcPage = 2 };

class LinkHost {
 public:
  virtual ~LinkHost() = default;

  // The page on top (0 program, 1 parameter, 2 PLC).
  virtual int pageIndex() const = 0;
  // Appends one line to the message box of `page` (bytes: catalogue text in
  // UTF-8, possibly followed by bytes of the operator's code page).
  virtual void appendPageLine(int page, std::string_view line) = 0;
  // The default system beep.
  virtual void beep() = 0;
  // Lets pending window events run during a wait (nothing on the command line).
  virtual void processEvents() = 0;
  // How long a wait looks for input before it processes events and asks
  // for a stop again: short for a window, which must stay responsive; a
  // host without events may take longer slices and wake less often. Input
  // that arrives ends a slice at once either way.
  virtual int waitSliceMs() const { return 5; }

  // The port list: the selected 0-based entry and its size.
  virtual int selectedPortIndex() const = 0;
  virtual void selectPortIndex(int index) = 0;
  // A port named outright instead of the list's entry (qxrtool --port
  // rfc2217://HOST:PORT); empty: the selected entry.
  virtual std::string namedPort() const { return {}; }

  // The confirmation dialog with OK and Cancel: false only for Cancel (or the
  // dialog closed), true for every other answer.
  virtual bool confirm(std::string_view question) = 0;
  // A notice with the single button OK (kind warning).
  virtual void notice(std::string_view text) = 0;

  // True once the operator asked to stop the running transfer. The link ends
  // the transfer at the next frame boundary: a frame being written is
  // finished, a wait for a reply is cut.
  virtual bool stopRequested() const { return false; }
  // Forgets the request, so that a clean-up the operator agreed to (deleting
  // a program stored only in part) can use the port again.
  virtual void clearStopRequest() {}
  // The progress of the running transfer, and its end.
  virtual void showTransferProgress(const ProgressSnapshot& /*progress*/) {}
  virtual void endTransferProgress() {}
};

// The millisecond tick and pauses. Tests may pass a clock that jumps.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps at 2^32 like the system tick.
  virtual std::uint32_t tickMs() = 0;
  // Sleeps until `ms` milliseconds have passed; processes no events.
  virtual void sleepMs(std::uint32_t ms) = 0;
};

class SystemClock final : public Clock {
 public:
  std::uint32_t tickMs() override;
  void sleepMs(std::uint32_t ms) override;
  static SystemClock& instance();
};

}  // namespace qxr
