#include "app/signalquit.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "app/mainform.h"

namespace qxr {

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int signal) {
  const auto byte = static_cast<unsigned char>(signal);
  // A window that cannot be told (the pipe full) gets the default action.
  if (::write(signalPipe[1], &byte, 1) != 1) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

}  // namespace

void quitOnTerminationSignals(TMainForm& window) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) > 0) window.quitOnSignal(byte);
  });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace qxr
