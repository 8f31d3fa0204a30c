// Start-up: the splash window for one second, then the main window until it
// is closed.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

#include "app/mainform.h"
#include "base/settings.h"
#include "app/splash.h"

namespace {

// Errors that escape an event handler (the serial component raises its
// errors as exceptions) are shown to the operator instead of ending the
// program.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      QMessageBox::critical(activeWindow(), applicationName(), QString::fromUtf8(error.what()));
    }
    return false;
  }
};

// SIGTERM and SIGINT (a session ending, Ctrl+C in the terminal) close the
// main window as its close box does, so the settings are still written.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void closeOnTerminationSignals(QWidget& window) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0) {
    }
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  Application app(argc, argv);
  app.setApplicationName("qxrtrans");
  try {
    auto* splash = qxr::showSplashForStartup(qxr::splashLanguage(qxr::currentStartDirectory()));
    qxr::TMainForm mainForm;
    delete splash;
    closeOnTerminationSignals(mainForm);
    mainForm.show();
    return app.exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, "qxrtrans", QString::fromUtf8(error.what()));
    return 1;
  }
}
