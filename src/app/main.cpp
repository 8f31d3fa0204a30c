// Start-up: the splash window for one second, then the main window until it
// is closed.
//
//   qxrtrans [--start-dir DIR]
//
// The start directory is the current directory when it holds a message
// catalogue, otherwise the operator's own (~/.local/share/qxrtrans), made
// and kept up to date from the shipped data (base/startdir.h).
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "app/mainform.h"
#include "app/signalquit.h"
#include "app/splash.h"
#include "base/settings.h"
#include "base/startdir.h"
#include "base/stdfds.h"
#include "params/startfiles.h"

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

constexpr const char* kUsage =
    "usage: qxrtrans [--start-dir DIR]\n"
    "\n"
    "Starts the QXR communication program. Its settings (Init.ini, Customer.ini),\n"
    "message catalogues and parameter descriptions are read from the start\n"
    "directory: DIR when given, else the current directory when it holds a\n"
    "message catalogue, else $XDG_DATA_HOME/qxrtrans (~/.local/share/qxrtrans),\n"
    "which is created from the installed data on first start.\n";

// The options after Qt has taken its own; 0 to go on, otherwise the exit status + 1.
int parseOptions(int argc, char* argv[], std::string& startDir) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 1;
    } else if (option == "--version") {
      std::printf("qxrtrans %s\n", QXR_VERSION);
      return 1;
    } else if (option == "--start-dir" && i + 1 < argc) {
      startDir = argv[++i];
    } else if (option.rfind("--start-dir=", 0) == 0) {
      startDir = option.substr(std::strlen("--start-dir="));
    } else {
      std::fprintf(stderr, "qxrtrans: unknown option %s\n%s", option.c_str(), kUsage);
      return 3;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  qxr::reopenClosedStandardDescriptors();
  Application app(argc, argv);
  app.setApplicationName("qxrtrans");
  app.setApplicationVersion(QXR_VERSION);
  app.setDesktopFileName("org.qxrtrans.qxrtrans");
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addFile(QStringLiteral(":/icons/qxrtrans-%1.png").arg(size));
  app.setWindowIcon(icon);
  std::string explicitDir;
  if (const int stop = parseOptions(argc, argv, explicitDir)) return stop - 1;
  try {
    const qxr::StartDirChoice start = qxr::chooseStartDirectory(explicitDir, qxr::startDirEnvironment());
    if (!start.problem.empty()) std::fprintf(stderr, "qxrtrans: %s\n", start.problem.c_str());
    auto* splash = qxr::showSplashForStartup(qxr::splashLanguage(start.dir));
    qxr::TMainForm mainForm(start.dir);
    delete splash;
    qxr::quitOnTerminationSignals(mainForm);
    mainForm.show();
    // Missing shipped files (settings, catalogue, parameter descriptions) are
    // told once, over the window they leave incomplete; the program goes on.
    if (const std::string report = qxr::startFilesReport(start.dir, mainForm.session().language()); !report.empty()) {
      std::fprintf(stderr, "qxrtrans: %s\n", report.c_str());
      QTimer::singleShot(0, &mainForm, [&mainForm, report] {
        QMessageBox::warning(&mainForm, "qxrtrans", QString::fromStdString(report));
      });
    }
    return app.exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, "qxrtrans", QString::fromUtf8(error.what()));
    return 1;
  }
}
