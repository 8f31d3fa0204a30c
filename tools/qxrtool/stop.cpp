// SIGINT, SIGTERM and SIGHUP stop the running transfer as the window's Stop
// does: the link ends it at the next frame boundary and closes the port, and
// the tool then exits with 128 + the signal's number. SIGPIPE is ignored: a
// reader of the output that went away (`| head`) is no reason to cut a
// transfer half way; it goes on, and the exit status says how it ended.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "base/controltexts.h"
#include "base/host.h"
#include "tool.h"

namespace qxr {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int number) {
  // A second signal while the first is being honoured ends at once.
  if (stopSignal != 0) {
    ::signal(number, SIG_DFL);
    ::raise(number);
  }
  stopSignal = number;
}

// Progress lines when stderr is no terminal: at most one this often.
constexpr std::uint32_t kPlainProgressMs = 2000;
constexpr std::uint32_t kTerminalProgressMs = 200;

}  // namespace

void installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a question on the terminal gives way
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

int stopSignalNumber() { return stopSignal; }

// A command that reached its end (the program stored whole, the output
// saved) reports that, whatever signal came after the work was done.
int exitAfterStop(int code) {
  if (stopSignal == 0 || code == kExitOk) return code;
  return 128 + stopSignal;
}

bool ConsoleHost::stopRequested() const { return stopSignal != 0; }

void ConsoleHost::showTransferProgress(const ProgressSnapshot& progress) {
  const bool terminal = ::isatty(STDERR_FILENO);
  const std::uint32_t now = SystemClock::instance().tickMs();
  const std::uint32_t every = terminal ? kTerminalProgressMs : kPlainProgressMs;
  if (progressShown_ && static_cast<std::uint32_t>(now - lastProgressMs_) < every) return;
  lastProgressMs_ = now;
  progressShown_ = true;
  const std::string text = progressText(session_.language(), progress);
  if (terminal) std::fprintf(stderr, "\r\033[K%s", text.c_str());
  else std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void ConsoleHost::endTransferProgress() {
  if (progressShown_ && ::isatty(STDERR_FILENO)) {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }
  progressShown_ = false;
}

}  // namespace qxr
