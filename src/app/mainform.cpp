#include "app/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/settings.h"
#include "link/comm.h"
#include "link/link.h"

namespace qxr {

namespace {
QString fromCatalogue(const Session& session, int n) { return QString::fromStdString(session.msg(n)); }
}  // namespace

TMainForm::TMainForm(const std::string& startDir, QWidget* parent)
    : QWidget(parent), session_(startSession(startDir.empty() ? currentStartDirectory() : startDir)) {
  setObjectName("MainForm");
  CommPort = std::make_unique<TComm>();
  CommPort->SetPortDirectory(session_.startDir);
  link_ = std::make_unique<Link>(*CommPort, session_, *this, SystemClock::instance());

  setWindowTitle(session_.language() == 1 ? QStringLiteral("QXRX02 Software")
                                          : QString::fromUtf8("QXRX02通訊軟體"));
  setFixedSize(772, 545);
  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");
  ProgramSheet = new QWidget;
  ProgramSheet->setObjectName("ProgramSheet");
  ParameterSheet = new QWidget;
  ParameterSheet->setObjectName("ParameterSheet");
  PLMSheet = new QWidget;
  PLMSheet->setObjectName("PLMSheet");
  PageControl->addTab(ProgramSheet, fromCatalogue(session_, 11));
  PageControl->addTab(ParameterSheet, fromCatalogue(session_, 31));
  PageControl->addTab(PLMSheet, fromCatalogue(session_, 51));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageControl);
}

TMainForm::~TMainForm() = default;

int TMainForm::pageIndex() const { return PageControl->currentIndex(); }
void TMainForm::appendPageLine(int, std::string_view) {}
void TMainForm::beep() { QApplication::beep(); }
void TMainForm::processEvents() { QApplication::processEvents(); }
int TMainForm::selectedPortIndex() const { return session_.settings.defaultPortIndex; }
void TMainForm::selectPortIndex(int) {}
bool TMainForm::confirm(std::string_view) { return false; }
void TMainForm::notice(std::string_view) {}

void TMainForm::setDetectedModel(int, int) {}
void TMainForm::setDetectedVersion(int) {}
void TMainForm::refillParameterList(int modelIndex) { SetParameterList(modelIndex); }
bool TMainForm::ShowOpenFileWindow() { return false; }
bool TMainForm::ShowSaveFileWindow() { return false; }

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TMainForm::FormClose() {
  if (CommPort->Enabled()) CommPort->Close();
  saveSession(session_);
}

}  // namespace qxr
