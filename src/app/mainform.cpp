#include "app/mainform.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/settings.h"

namespace qxr {

namespace {
QString fromCatalogue(const Session& session, int n) { return QString::fromStdString(session.msg(n)); }
}  // namespace

TMainForm::TMainForm(const std::string& startDir, QWidget* parent)
    : QWidget(parent), session_(startSession(startDir.empty() ? currentStartDirectory() : startDir)) {
  setObjectName("MainForm");
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

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TMainForm::FormClose() { saveSession(session_); }

}  // namespace qxr
