#pragma once
// The splash window: shown for one second at start and as the about box.
#include <QDialog>
#include <string>

class QPushButton;

namespace qxr {

class TSplashForm : public QDialog {
  Q_OBJECT
 public:
  // closeCaption: catalogue message 100; the close button shows only in the
  // about box. language: 0 Chinese, 1 English.
  TSplashForm(bool aboutBox, const QString& closeCaption, int language, QWidget* parent = nullptr);

  QPushButton* CloseBtn = nullptr;
};

// The language of a start directory's "Customer.ini" (the splash is shown
// before the main window reads its settings).
int splashLanguage(const std::string& startDir);

// Shows the splash window, paints it at once and waits 1000 ms; the caller
// deletes it once the main window exists.
TSplashForm* showSplashForStartup(int language);

}  // namespace qxr
