#pragma once
// The splash window: shown for one second at start and as the about box.
#include <QDialog>

class QPushButton;

namespace qxr {

class TSplashForm : public QDialog {
  Q_OBJECT
 public:
  // closeCaption: catalogue message 100; the close button shows only in the
  // about box.
  TSplashForm(bool aboutBox, const QString& closeCaption, QWidget* parent = nullptr);

 private:
  QPushButton* closeButton_ = nullptr;
};

// Shows the splash window, paints it at once and waits 1000 ms; the caller
// deletes it once the main window exists.
TSplashForm* showSplashForStartup();

}  // namespace qxr
