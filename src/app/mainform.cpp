#include "app/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/filewindows.h"
#include "app/msgdlg.h"
#include "app/portsform.h"
#include "app/splash.h"
#include "app/transferbar.h"
#include "base/controltexts.h"
#include "base/settings.h"
#include "link/comm.h"
#include "link/detect.h"
#include "link/link.h"
#include "link/testsequences.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr int kClientWidth = 772;
constexpr int kClientHeight = 545;
constexpr const char* kManualName = "QXRX02通訊軟體手冊.pdf";

}  // namespace

TMainForm::TMainForm(const std::string& startDir, QWidget* parent)
    : QWidget(parent), session_(startSession(startDir.empty() ? currentStartDirectory() : startDir)) {
  setObjectName("MainForm");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  CommPort = std::make_unique<TComm>();
  CommPort->SetPortDirectory(session_.startDir);
  // The event thread hands each line event to this thread; no handler is
  // assigned, but dispatching keeps the component's contract.
  CommPort->SetEventPoster([this](std::uint32_t mask) {
    QMetaObject::invokeMethod(
        this, [this, mask] { CommPort->DispatchEvent(mask); }, Qt::QueuedConnection);
  });
  link_ = std::make_unique<Link>(*CommPort, session_, *this, SystemClock::instance());

  QFont windowFont = QApplication::font();
  windowFont.setPixelSize(13);
  setFont(windowFont);
  setFixedSize(kClientWidth, kClientHeight);

  // Start-up, in order: the pages with the transfer delay from the
  // settings, the port list, the title and captions from the catalogue, then
  // the program page with model QXR102 and version K.
  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");
  program = new TProgramPage(*this);
  parameters = new TParameterPage(*this);
  plc = new TPlcPage(*this);
  program->addBelowPortList(buildShopControls(program));
  const bool haveCatalogue = session_.catalogue.count() > 0;
  const char* tabStandIns[] = {"程式編輯", "參數設定", "PLC編輯"};
  for (int index = 0; index < 3; ++index) {
    TWindowPage* sheet = page(index);
    PageControl->addTab(sheet, haveCatalogue ? QString::fromStdString(session_.msg(sheet->tabCaption()))
                                             : QString::fromUtf8(tabStandIns[index]));
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageControl);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(10);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

  // Each entry keeps its name; the list and the label under it show the
  // device or serial device server address it leads to.
  for (int n = 1; n <= session_.settings.portCount; ++n)
    program->COM_Select->addItem(QStringLiteral("COM%1").arg(n));
  program->COM_Select->setCurrentIndex(session_.settings.defaultPortIndex);
  showPortDevices(program->COM_Select, program->PortDeviceLabel, session_.startDir, session_.language());
  fileWindowDir_ = session_.startDir;
  const QString title =
      session_.lang() == Language::kEnglish ? QStringLiteral("QXRX02 Software") : QString::fromUtf8("QXRX02通訊軟體");
  setWindowTitle(title);
  PageControl->setCurrentIndex(kProgramPage);
  program->ProgramMemo->setFocus();
  parameters->LoadAdditionalParameterLists();
  parameters->checkModel(0);
  parameters->selectVersion(1);
  parameters->SetParameterList(0);
  SetDialogCatalogue(&session_.catalogue);
  SetDialogApplicationTitle(title);
  SetDialogButtonCaptions(0, 0);

  connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);
  connect(program->AutoDetectBtn, &QPushButton::clicked, this, &TMainForm::AutoDetectBtnClick);
  connect(program->PortsBtn, &QToolButton::clicked, this, &TMainForm::PortsBtnClick);
  connect(program->SpeedButton1, &QToolButton::clicked, this, &TMainForm::SpeedButton1Click);
  connect(program->VersionBtn, &QToolButton::clicked, this, &TMainForm::VersionBtnClick);
  for (QPushButton* close : {program->CloseBtn, parameters->CloseBtn2, plc->CloseBtn3})
    connect(close, &QPushButton::clicked, this, &TMainForm::CloseBtnClick);
  QPushButton* const tests[] = {program->Button1, program->Button2, program->Button3,
                                program->Button4, program->Button5, program->Button6};
  for (int i = 0; i < 6; ++i)
    connect(tests[i], &QPushButton::clicked, this, [this, i] { runTestButton(i + 1); });
  buildControl();

  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect s = screen->availableGeometry();
    move(s.left() + (s.width() - kClientWidth) / 2, s.top() + (s.height() - kClientHeight) / 2);
  }
}

TMainForm::~TMainForm() {
  // Stop the event thread before the window it posts to goes away.
  if (CommPort && CommPort->Enabled()) CommPort->Close();
  SetDialogCatalogue(nullptr);
}

TWindowPage* TMainForm::page(int index) const {
  switch (index) {
    case kProgramPage:
      return program;
    case kParameterPage:
      return parameters;
    case kPlcPage:
      return plc;
    default:
      return nullptr;
  }
}

// --- LinkHost ---

// While an operation runs, its reports stay on the page that started it.
int TMainForm::pageIndex() const {
  const int running = operationPage();
  return running >= 0 ? running : PageControl->currentIndex();
}

void TMainForm::appendPageLine(int index, std::string_view line) {
  TWindowPage* sheet = page(index);
  if (!sheet) return;
  QPlainTextEdit* box = sheet->messageBox();
  box->appendPlainText(mixedLineText(line, session_.language()));
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

void TMainForm::beep() {
  QApplication::beep();
}

int TMainForm::selectedPortIndex() const {
  return program->COM_Select->currentIndex();
}

void TMainForm::selectPortIndex(int index) {
  if (index >= 0 && index < program->COM_Select->count()) program->COM_Select->setCurrentIndex(index);
}

// --- DetectTarget ---

void TMainForm::setDetectedModel(int typeEntry, int modelIndex) {
  if (typeEntry >= 0 && typeEntry < program->TypeSel->count()) program->TypeSel->setItemIndex(typeEntry);
  parameters->checkModel(modelIndex);
}

void TMainForm::setDetectedVersion(int versionIndex) {
  parameters->selectVersion(versionIndex);
}

void TMainForm::refillParameterList(int modelIndex) {
  parameters->SetParameterList(modelIndex);
}

// --- file windows ---

bool TMainForm::ShowOpenFileWindow() {
  fileChoice_.fileChosen = false;
  if (takePresetPath(fileChoice_.currentFilePath)) return fileChoice_.fileChosen = true;
  TOpenFileForm window(session_, pageIndex(), fileChoice_, fileWindowDir_, this);
  runFileWindow(window);
  fileWindowDir_ = window.directory();
  return fileChoice_.fileChosen;
}

bool TMainForm::ShowSaveFileWindow() {
  fileChoice_.fileChosen = false;
  TSaveFileForm window(session_, pageIndex(), fileChoice_, fileWindowDir_, this);
  runFileWindow(window);
  fileWindowDir_ = window.directory();
  return fileChoice_.fileChosen;
}

// --- the window's own handlers ---

void TMainForm::PageControlChange() {
  // Nothing modal opens inside a transfer's wait: the page's entry waits.
  if (deferWhileRunning()) return;
  program->AutoDetectBtn->hide();
  plc->entered();
  switch (PageControl->currentIndex()) {
    case kParameterPage:
      parameters->SetParameterList(session_.modelIndex);
      break;
    case kPlcPage:
      beep();
      SetDialogButtonCaptions(mbOK, 1);
      ShowMessageDialog(QString::fromStdString(session_.msg(msg::kConnectWarning)), mtWarning, {1, mbOK, 0});
      break;
    default:
      break;
  }
}

void TMainForm::CloseBtnClick() {
  if (!operationRunning_ && CommPort->Enabled()) CommPort->Close();
  close();
}

void TMainForm::Timer1Timer() {
  if (pageIndex() == kProgramPage) alignLineColumn(program->ProgramMemo, program->Memo1);
  if (pageIndex() == kPlcPage) alignLineColumn(plc->PLMMemo, plc->Memo2);
}

// Not modal: the about box may stay open while a transfer runs.
void TMainForm::VersionBtnClick() {
  if (!about_) {
    about_ = new TSplashForm(true, QString::fromStdString(session_.msg(msg::kClose)), session_.language(), this);
    about_->setAttribute(Qt::WA_DeleteOnClose);
    about_->setModal(false);
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void TMainForm::SpeedButton1Click() {
  const QString path =
      QFile::decodeName(QByteArray::fromStdString(session_.startDir)) + QString::fromUtf8(kManualName);
  if (!QFileInfo::exists(path)) {
    QMessageBox::warning(this, windowTitle(),
                         (session_.lang() == Language::kEnglish ? QStringLiteral("The manual was not found:\n%1")
                                                   : QString::fromUtf8("找不到使用手冊:\n%1"))
                             .arg(path));
    return;
  }
  // xdg-open tells by its exit status whether a viewer took the document;
  // without it the desktop services are asked, which only report failure to
  // start anything.
  auto noReader = [this, path] {
    QMessageBox::information(this, windowTitle(),
                             QString::fromStdString(controlText(
                                 session_.language(), ControlText::kNoPdfViewer, path.toStdString())));
  };
  auto* opener = new QProcess(this);
  connect(opener, &QProcess::finished, this, [opener, noReader](int code, QProcess::ExitStatus status) {
    opener->deleteLater();
    if (status != QProcess::NormalExit || code != 0) noReader();
  });
  connect(opener, &QProcess::errorOccurred, this, [opener, noReader, path](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    opener->deleteLater();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) noReader();
  });
  opener->start(QStringLiteral("xdg-open"), {path});
}

void TMainForm::PortsBtnClick() {
  TPortsForm ports(session_.startDir, program->COM_Select->count(), program->COM_Select->currentIndex(),
                   session_.language(), "/", this);
  ports.exec();
  showPortDevices(program->COM_Select, program->PortDeviceLabel, session_.startDir, session_.language());
}

void TMainForm::AutoDetectBtnClick() {
  if (OperationGuard guard(*this); guard) AutoDetect(link(), *this);
}

void TMainForm::runTestButton(int button) {
  if (OperationGuard guard(*this); guard) RunTestButton(link(), button);
}

// --- closing ---

void TMainForm::FormClose() {
  if (CommPort->Enabled()) CommPort->Close();
  chooseMachine(QString());  // the settings files keep their own values
  session_.settings.defaultPortIndex = program->COM_Select->currentIndex();
  saveSession(session_);
}

}  // namespace qxr
