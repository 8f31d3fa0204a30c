// Start-up: the splash window for one second, then the main window until it
// is closed.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/mainform.h"
#include "app/settings.h"
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

}  // namespace

int main(int argc, char* argv[]) {
  Application app(argc, argv);
  app.setApplicationName("qxrtrans");
  try {
    auto* splash = qxr::showSplashForStartup(qxr::splashLanguage(qxr::currentStartDirectory()));
    qxr::TMainForm mainForm;
    delete splash;
    mainForm.show();
    return app.exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, "qxrtrans", QString::fromUtf8(error.what()));
    return 1;
  }
}
