#include "app/splash.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace qxr {

TSplashForm::TSplashForm(bool aboutBox, const QString& closeCaption, QWidget* parent) : QDialog(parent) {
  setObjectName("SplashForm");
  setWindowFlags(aboutBox ? (Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
                          : (Qt::SplashScreen | Qt::FramelessWindowHint));
  setWindowTitle("qxrtrans");
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QString::fromUtf8("<h2>QXRX02 Software / QXRX02通訊軟體</h2>"), this);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  auto* text = new QLabel(
      QString::fromUtf8("Welcome. Edit, send and receive NC programs, parameters and PLC programs\n"
                        "of QXR controllers over an RS-232 line, and preview tool paths.\n\n"
                        "Models: QXR102, QXR202, QXR302 (versions SD, K, M); QXR101, QXR200, QXR300\n"
                        "Version %1\n"
                        "Support: QXR controller service desk")
          .arg(QStringLiteral(QXR_VERSION)),
      this);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
  if (aboutBox) {
    closeButton_ = new QPushButton(closeCaption.isEmpty() ? QStringLiteral("OK") : closeCaption, this);
    closeButton_->setObjectName("CloseBtn");
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(closeButton_, 0, Qt::AlignCenter);
  }
  setFixedSize(sizeHint().expandedTo(QSize(520, 220)));
}

TSplashForm* showSplashForStartup() {
  auto* splash = new TSplashForm(false, QString());
  splash->show();
  splash->repaint();
  QApplication::processEvents();
  // A plain wait: the splash stays for one second before the main window is built.
  QThread::msleep(1000);
  return splash;
}

}  // namespace qxr
