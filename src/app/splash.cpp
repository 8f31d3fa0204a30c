#include "app/splash.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include "base/settings.h"
#include "base/language.h"
#include "base/textio.h"

namespace qxr {

namespace {

struct SplashText {
  const char* title;
  const char* welcome;
  const char* models;
  const char* version;
  const char* contact;
};

constexpr SplashText kChinese = {
    "QXRX02通訊軟體",
    "歡迎使用! 本軟體在PC與控制器之間經由RS-232傳輸線,\n"
    "編輯、傳送與接收NC程式、控制器參數及PLC程式,\n並可預覽NC程式的刀具路徑。",
    "支援機型: QXR102、QXR202、QXR302 (版本 SD、K、M),\n"
    "QXR101、QXR200、QXR300",
    "版本",
    "技術支援: 請洽您的控制器經銷商或機台製造商服務部門",
};

constexpr SplashText kEnglish = {
    "QXRX02 Software",
    "Welcome! Edit, send and receive NC programs, controller parameters\n"
    "and PLC programs over an RS-232 line, and preview tool paths.",
    "Supported models: QXR102, QXR202, QXR302 (versions SD, K, M),\n"
    "QXR101, QXR200, QXR300",
    "Version",
    "Support: contact your controller dealer or the machine builder's service department",
};

}  // namespace

TSplashForm::TSplashForm(bool aboutBox, const QString& closeCaption, int language, QWidget* parent)
    : QDialog(parent) {
  const SplashText& t = languageFromIndex(language) == Language::kEnglish ? kEnglish : kChinese;
  setObjectName("SplashForm");
  setWindowFlags(aboutBox ? (Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
                          : (Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
  setWindowTitle(QString::fromUtf8(t.title));

  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setLineWidth(aboutBox ? 0 : 2);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(28, 22, 28, 18);
  layout->setSpacing(12);

  auto* title = new QLabel(QString::fromUtf8(t.title), frame);
  title->setObjectName("TitleLabel");
  QFont big = title->font();
  big.setPixelSize(26);
  big.setBold(true);
  title->setFont(big);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);

  auto addText = [&](const QString& text, const char* name) {
    auto* label = new QLabel(text, frame);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  };
  addText(QString::fromUtf8(t.welcome), "WelcomeLabel");
  addText(QString::fromUtf8(t.models), "ModelsLabel");
  addText(QStringLiteral("%1 %2").arg(QString::fromUtf8(t.version), QStringLiteral(QXR_VERSION)), "VersionLabel");
  addText(QString::fromUtf8(t.contact), "ContactLabel");

  if (aboutBox) {
    CloseBtn = new QPushButton(closeCaption.isEmpty() ? QStringLiteral("OK") : closeCaption, frame);
    CloseBtn->setObjectName("CloseBtn");
    CloseBtn->setDefault(true);
    CloseBtn->setMinimumWidth(100);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(CloseBtn, 0, Qt::AlignCenter);
  }
  setFixedSize(sizeHint().expandedTo(QSize(540, 240)));
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect s = screen->availableGeometry();
    move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
  }
}

int splashLanguage(const std::string& startDir) {
  Settings settings;
  readCustomerIni(resolveCaseInsensitive(startDir, kCustomerIniName), settings);
  return settings.language;
}

TSplashForm* showSplashForStartup(int language) {
  auto* splash = new TSplashForm(false, QString(), language);
  splash->show();
  splash->repaint();
  QApplication::processEvents();
  // The splash stays for one second before the main window is built.
  QThread::msleep(1000);
  return splash;
}

}  // namespace qxr
