#include "app/mainform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QValidator>
#include <QVBoxLayout>
#include <cmath>

#include "base/codec.h"
#include "base/linecheck.h"
#include "app/filewindows.h"
#include "app/msgdlg.h"
#include "app/portsform.h"
#include "base/settings.h"
#include "app/splash.h"
#include "app/transferbar.h"
#include "base/controltexts.h"
#include "link/comm.h"
#include "link/detect.h"
#include "link/link.h"
#include "link/testsequences.h"
#include "nc/ncfile.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"


namespace qxr {

namespace {

constexpr int kClientWidth = 772;
constexpr int kClientHeight = 545;
constexpr int kProgramLineLabels = 6000;
constexpr int kPlcLineLabels = 1024;
constexpr const char* kManualName = "QXRX02通訊軟體手冊.pdf";

QString lineLabels(int count) {
  QString text;
  text.reserve(count * 6);
  for (int n = 1; n <= count; ++n) {
    if (n > 1) text += '\n';
    text += QStringLiteral("N%1").arg(n, 4, 10, QLatin1Char('0'));
  }
  // Blank lines below the last label let the column scroll as far as its
  // editor, whose view is shorter by its horizontal scroll bar.
  return text + QString(4, QLatin1Char('\n'));
}

// Keeps `column` level with the first visible line of `editor`. Without word
// wrap the editor's scroll position is its first visible line.
void alignLineColumn(QPlainTextEdit* editor, QPlainTextEdit* column) {
  QScrollBar* bar = column->verticalScrollBar();
  const int line = editor->verticalScrollBar()->value();
  if (bar->value() != line) bar->setValue(line);
}

// A program name typed, pasted or set, through the core's name rule; a name
// the code page cannot hold is left to the validator and the checks.
QString nameByRule(const QString& text, int language) {
  const std::string utf8 = text.toStdString();
  if (findUnencodable(utf8, language) != std::string::npos) return text;
  return QString::fromStdString(bytesToUtf8(programNameRule(utf8ToBytes(utf8, language), language), language));
}

QString mixedLineText(std::string_view line, int language) {
  return QString::fromStdString(displayUtf8(line, language));
}

bool isTypingKey(const QKeyEvent* key) {
  return !key->text().isEmpty() && key->text()[0].isPrint() &&
         !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

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

  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");
  buildProgramSheet();
  buildParameterSheet();
  buildPlcSheet();
  PageControl->addTab(ProgramSheet, QString());
  PageControl->addTab(ParameterSheet, QString());
  PageControl->addTab(PLMSheet, QString());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageControl);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(10);
  connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

  // Start-up, in order: the transfer delay and the port list from the
  // settings, the title and captions from the catalogue, then the program
  // page with model QXR102 and version K.
  // The field shows the delay that is used; the setting itself is written back
  // unchanged unless the operator sets another.
  TransDelayValue->setText(QString::number(plcTransferDelayInUse(session_.settings.plcTransferDelayMs)));
  // Each entry keeps its name; the list and the label under it show the
  // device or serial device server address it leads to.
  for (int n = 1; n <= session_.settings.portCount; ++n) COM_Select->addItem(QStringLiteral("COM%1").arg(n));
  COM_Select->setCurrentIndex(session_.settings.defaultPortIndex);
  showPortDevices(COM_Select, PortDeviceLabel, session_.startDir, session_.language());
  fileWindowDir_ = session_.startDir;
  const QString title = session_.language() == 1 ? QStringLiteral("QXRX02 Software")
                                                  : QString::fromUtf8("QXRX02通訊軟體");
  setWindowTitle(title);
  applyCaptions();
  PageControl->setCurrentIndex(kProgramPage);
  ProgramMemo->setFocus();
  LoadAdditionalParameterLists();
  QXR102RadioButton->setChecked(true);
  selectVersion(1);
  SetParameterList(0);
  SetDialogCatalogue(&session_.catalogue);
  SetDialogApplicationTitle(title);
  SetDialogButtonCaptions(0, 0);
  connectHandlers();
  FormCreate();
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

void TMainForm::connectHandlers() {
  connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);

  connect(ReadFileBtn, &QPushButton::clicked, this, &TMainForm::ReadFileBtnClick);
  connect(WriteFileBtn, &QPushButton::clicked, this, &TMainForm::WriteFileBtnClick);
  connect(TransBtn, &QPushButton::clicked, this, &TMainForm::TransBtnClick);
  connect(RcvBtn, &QPushButton::clicked, this, &TMainForm::RcvBtnClick);
  connect(DelProgBtn, &QPushButton::clicked, this, &TMainForm::DelProgBtnClick);
  connect(SimulatorBtn, &QPushButton::clicked, this, &TMainForm::SimulatorBtnClick);
  connect(PreviewBtn, &QPushButton::clicked, this, &TMainForm::PreviewBtnClick);
  connect(MultipleBtn, &QPushButton::clicked, this, &TMainForm::MultipleBtnClick);
  connect(AutoDetectBtn, &QPushButton::clicked, this, &TMainForm::AutoDetectBtnClick);
  connect(PortsBtn, &QToolButton::clicked, this, &TMainForm::PortsBtnClick);
  connect(ClrMsgBtn, &QPushButton::clicked, this, &TMainForm::ClrMsgBtnClick);
  connect(CloseBtn, &QPushButton::clicked, this, &TMainForm::CloseBtnClick);
  connect(SpeedButton1, &QToolButton::clicked, this, &TMainForm::SpeedButton1Click);
  connect(VersionBtn, &QToolButton::clicked, this, &TMainForm::VersionBtnClick);
  connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TMainForm::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TMainForm::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TMainForm::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TMainForm::Button6Click);

  connect(SelAllBtn, &QPushButton::clicked, this, &TMainForm::SelAllBtnClick);
  connect(CancelSelBtn, &QPushButton::clicked, this, &TMainForm::CancelSelBtnClick);
  connect(ReadParBtn, &QPushButton::clicked, this, &TMainForm::ReadParBtnClick);
  connect(WriteParBtn, &QPushButton::clicked, this, &TMainForm::WriteParBtnClick);
  connect(ParTrnBtn, &QPushButton::clicked, this, &TMainForm::ParTrnBtnClick);
  connect(ParRcvBtn, &QPushButton::clicked, this, &TMainForm::ParRcvBtnClick);
  connect(ClrMsgBtn2, &QPushButton::clicked, this, &TMainForm::ClrMsgBtn2Click);
  connect(CloseBtn2, &QPushButton::clicked, this, &TMainForm::CloseBtnClick);

  connect(ReadPLMBtn, &QPushButton::clicked, this, &TMainForm::ReadPLMBtnClick);
  connect(WritePLMBtn, &QPushButton::clicked, this, &TMainForm::WritePLMBtnClick);
  connect(PLMTrnBtn, &QPushButton::clicked, this, &TMainForm::PLMTrnBtnClick);
  connect(PLMRcvBtn, &QPushButton::clicked, this, &TMainForm::PLMRcvBtnClick);
  connect(ClrMsgBtn3, &QPushButton::clicked, this, &TMainForm::ClrMsgBtn3Click);
  connect(CloseBtn3, &QPushButton::clicked, this, &TMainForm::CloseBtnClick);
  connect(TransDelayValue, &TFSpinEdit::valueChanged, this, &TMainForm::TransDelayValueChange);
  // A typed delay beyond the range is used as its nearest end, and shown so.
  connect(TransDelayValue->editor(), &QLineEdit::editingFinished, this, [this] {
    const int used = plcTransferDelayInUse(TransDelayValue->Value());
    if (TransDelayValue->text() != QString::number(used)) TransDelayValue->setText(QString::number(used));
  });

  // Program names follow the core's name rule however they arrive, so that
  // the window and qxrtool send and save the same name.
  for (QLineEdit* name : {ProgNameEdit, TmpProgNameEdit}) {
    connect(name, &QLineEdit::textChanged, name, [name, language = session_.language()](const QString& text) {
      const QString ruled = nameByRule(text, language);
      if (ruled == text) return;
      const int cursor = name->cursorPosition();
      name->setText(ruled);
      name->setCursorPosition(std::min(cursor, static_cast<int>(ruled.size())));
    });
  }

  // The line labels follow the editors' first visible line, whatever moved
  // it: the scroll bar, the keyboard, a paste, a file loaded. The editor
  // scrolls its scroll bar without a signal in the last three cases, but
  // every scroll of its view asks for an update.
  for (auto [editor, column] : {std::pair{ProgramMemo, Memo1}, std::pair{PLMMemo, Memo2}}) {
    connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [editor, column] { alignLineColumn(editor, column); });
    connect(editor, &QPlainTextEdit::updateRequest, this, [editor, column] { alignLineColumn(editor, column); });
  }

  watchCodePage(ProgramMemo, kProgramPage);
  watchCodePage(ParameterMemo, kParameterPage);
  watchCodePage(PLMMemo, kPlcPage);

  for (QObject* watched : std::initializer_list<QObject*>{
           ProgramMemo, PLMMemo, COM_Select, TransDelayValue->editor(), ProgramSheet, PLMSheet,
           QXR102RadioButton, QXR202RadioButton, QXR302RadioButton, QXR101RadioButton, QXR200RadioButton,
           QXR300RadioButton, VerSDRadioBtn, VerKRadioBtn, VerMRadioBtn})
    watched->installEventFilter(this);
}

void TMainForm::FormCreate() {
  Memo1->setPlainText(lineLabels(kProgramLineLabels));
  Memo2->setPlainText(lineLabels(kPlcLineLabels));
  alignLineColumn(ProgramMemo, Memo1);
  alignLineColumn(PLMMemo, Memo2);
}

// --- LinkHost ---

// While an operation runs, its reports stay on the page that started it.
int TMainForm::pageIndex() const {
  const int page = operationPage();
  return page >= 0 ? page : PageControl->currentIndex();
}

QPlainTextEdit* TMainForm::pageMessageBox(int page) const {
  switch (page) {
    case kProgramPage:
      return MsgMemo;
    case kParameterPage:
      return ParMsgMemo;
    case kPlcPage:
      return PLMMsgMemo;
    default:
      return nullptr;
  }
}

void TMainForm::appendPageLine(int page, std::string_view line) {
  QPlainTextEdit* box = pageMessageBox(page);
  if (!box) return;
  box->appendPlainText(mixedLineText(line, session_.language()));
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

bool TMainForm::editorTextFitsCodePage(QPlainTextEdit* editor, int page, Refused refused) {
  const int language = session_.language();
  for (QTextBlock block = editor->document()->begin(); block.isValid(); block = block.next()) {
    const QString text = block.text();
    const std::string utf8 = text.toStdString();
    const std::size_t at = findUnencodable(utf8, language);
    if (at == std::string::npos) continue;
    LineProblem problem;
    problem.kind = LineProblem::kNotInCodePage;
    problem.line = static_cast<std::size_t>(block.blockNumber());
    problem.text = utf8.substr(at, utf8CharLength(utf8, at));
    appendPageLine(page, lineProblemText(language, problem, refused));
    beep();
    // Shown selected, so that the operator sees what to change.
    const int start = block.position() + static_cast<int>(QString::fromStdString(utf8.substr(0, at)).size());
    QTextCursor cursor(editor->document());
    cursor.setPosition(start);
    cursor.setPosition(start + static_cast<int>(QString::fromStdString(problem.text).size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    editor->ensureCursorVisible();
    return false;
  }
  return true;
}

void TMainForm::watchCodePage(QPlainTextEdit* editor, int page) {
  QTextDocument* document = editor->document();
  connect(document, &QTextDocument::contentsChange, this, [this, document, page](int position, int, int added) {
    if (added <= 0) return;
    QTextCursor cursor(document);
    cursor.setPosition(position);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, added);
    // Line ends come as paragraph separators; they are no characters of the text.
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::string utf8 = text.toStdString();
    const int language = session_.language();
    const std::size_t at = findUnencodable(utf8, language);
    if (at == std::string::npos) return;
    const int offset = static_cast<int>(QString::fromStdString(utf8.substr(0, at)).size());
    const QTextBlock block = document->findBlock(position + offset);
    appendPageLine(page, unencodableTypedText(language, static_cast<std::size_t>(block.blockNumber()),
                                              utf8.substr(at, utf8CharLength(utf8, at))));
    beep();
  });
}

void TMainForm::beep() { QApplication::beep(); }
void TMainForm::processEvents() {
  // A wait of a transfer: its page shows Stop from now on.
  if (TransferBar* bar = transferBar(operationPage()); bar && bar->isHidden()) bar->start();
  QApplication::processEvents();
}
int TMainForm::selectedPortIndex() const { return COM_Select->currentIndex(); }

void TMainForm::selectPortIndex(int index) {
  if (index >= 0 && index < COM_Select->count()) COM_Select->setCurrentIndex(index);
}

bool TMainForm::confirm(std::string_view question) {
  SetDialogButtonCaptions(mbOK, 2);
  const int result = ShowMessageDialog(mixedLineText(question, session_.language()),
                                       mtConfirmation, {2, mbOK, mbCancel, 0});
  return result != mrCancel;
}

void TMainForm::notice(std::string_view text) {
  SetDialogButtonCaptions(mbOK, 1);
  ShowMessageDialog(mixedLineText(text, session_.language()), mtWarning, {1, mbOK, 0});
}

// --- DetectTarget ---

QRadioButton* TMainForm::modelButton(int modelIndex) const {
  QRadioButton* const buttons[] = {QXR102RadioButton, QXR202RadioButton, QXR302RadioButton,
                                   QXR101RadioButton, QXR200RadioButton, QXR300RadioButton};
  return (modelIndex >= 0 && modelIndex < kModelCount) ? buttons[modelIndex] : nullptr;
}

QRadioButton* TMainForm::versionButton(int versionIndex) const {
  QRadioButton* const buttons[] = {VerSDRadioBtn, VerKRadioBtn, VerMRadioBtn};
  return (versionIndex >= 0 && versionIndex < 3) ? buttons[versionIndex] : nullptr;
}

void TMainForm::setDetectedModel(int typeEntry, int modelIndex) {
  if (typeEntry >= 0 && typeEntry < TypeSel->count()) TypeSel->setItemIndex(typeEntry);
  if (QRadioButton* b = modelButton(modelIndex)) {
    b->setChecked(true);
    session_.modelIndex = modelIndex;
  }
}

void TMainForm::setDetectedVersion(int versionIndex) { selectVersion(versionIndex); }

void TMainForm::refillParameterList(int modelIndex) { SetParameterList(modelIndex); }

void TMainForm::selectVersion(int versionIndex) {
  if (QRadioButton* b = versionButton(versionIndex)) {
    b->setChecked(true);
    session_.versionIndex = versionIndex;
  }
}

// --- file windows ---

bool TMainForm::ShowOpenFileWindow() {
  fileChoice.fileChosen = false;
  if (takePresetPath(fileChoice.currentFilePath)) return fileChoice.fileChosen = true;
  TOpenFileForm window(session_, pageIndex(), fileChoice, fileWindowDir_, this);
  runFileWindow(window);
  fileWindowDir_ = window.directory();
  return fileChoice.fileChosen;
}

bool TMainForm::ShowSaveFileWindow() {
  fileChoice.fileChosen = false;
  TSaveFileForm window(session_, pageIndex(), fileChoice, fileWindowDir_, this);
  runFileWindow(window);
  fileWindowDir_ = window.directory();
  return fileChoice.fileChosen;
}

// --- small handlers ---

void TMainForm::PageControlChange() {
  // Nothing modal opens inside a transfer's wait: the page's entry waits.
  if (deferWhileRunning()) return;
  AutoDetectBtn->hide();
  TransDelayValue->hide();
  transDelayToggle_ = 0;
  switch (PageControl->currentIndex()) {
    case kParameterPage:
      SetParameterList(session_.modelIndex);
      break;
    case kPlcPage:
      beep();
      SetDialogButtonCaptions(mbOK, 1);
      ShowMessageDialog(QString::fromStdString(session_.msg(55)), mtWarning, {1, mbOK, 0});
      plcFilePath = "Tmp.mcn";
      break;
    default:
      break;
  }
}

void TMainForm::CloseBtnClick() {
  if (!operationRunning_ && CommPort->Enabled()) CommPort->Close();
  close();
}

void TMainForm::ClrMsgBtnClick() { MsgMemo->clear(); }
void TMainForm::ClrMsgBtn2Click() { ParMsgMemo->clear(); }
void TMainForm::ClrMsgBtn3Click() { PLMMsgMemo->clear(); }

void TMainForm::QXR102RadioButtonEnter() {
  selectVersion(1);
  SetParameterList(0);
}
void TMainForm::QXR202RadioButtonEnter() {
  selectVersion(0);
  SetParameterList(1);
}
void TMainForm::QXR302RadioButtonEnter() {
  selectVersion(0);
  SetParameterList(2);
}
void TMainForm::QXR101RadioButtonEnter() { SetParameterList(3); }
void TMainForm::QXR200RadioButtonEnter() { SetParameterList(4); }
void TMainForm::QXR300RadioButtonEnter() { SetParameterList(5); }

void TMainForm::VerSDRadioBtnEnter() {
  session_.versionIndex = 0;
  SetParameterList(session_.modelIndex);
}
void TMainForm::VerKRadioBtnEnter() {
  session_.versionIndex = 1;
  SetParameterList(session_.modelIndex);
}
void TMainForm::VerMRadioBtnEnter() {
  session_.versionIndex = 2;
  SetParameterList(session_.modelIndex);
}

void TMainForm::SelAllBtnClick() {
  for (int i = 0; i < ParaCheckListBox->count(); ++i) {
    QListWidgetItem* item = ParaCheckListBox->item(i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  }
}

void TMainForm::CancelSelBtnClick() {
  for (int i = 0; i < ParaCheckListBox->count(); ++i) {
    QListWidgetItem* item = ParaCheckListBox->item(i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

void TMainForm::TransDelayValueChange() {
  session_.settings.plcTransferDelayMs = plcTransferDelayInUse(TransDelayValue->Value());
}

void TMainForm::Timer1Timer() {
  if (pageIndex() == kProgramPage) alignLineColumn(ProgramMemo, Memo1);
  if (pageIndex() == kPlcPage) alignLineColumn(PLMMemo, Memo2);
}

void TMainForm::VersionBtnClick() {
  TSplashForm about(true, QString::fromStdString(session_.msg(100)), session_.language(), this);
  about.exec();
}

void TMainForm::SpeedButton1Click() {
  const QString path = QFile::decodeName(QByteArray::fromStdString(session_.startDir)) + QString::fromUtf8(kManualName);
  if (!QFileInfo::exists(path)) {
    QMessageBox::warning(this, windowTitle(),
                         (session_.language() == 1 ? QStringLiteral("The manual was not found:\n%1")
                                                   : QString::fromUtf8("找不到使用手冊:\n%1"))
                             .arg(path));
    return;
  }
  // xdg-open tells by its exit status whether a viewer took the document;
  // without it the desktop services are asked, which only report failure to
  // start anything.
  auto noReader = [this, path] {
    QMessageBox::information(this, windowTitle(),
                             QString::fromStdString(controlText(session_.language(), ControlText::kNoPdfViewer,
                                                                path.toStdString())));
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

void TMainForm::ProgramSheetMouseDown(Qt::KeyboardModifiers modifiers) {
  if (TypeSel->itemIndex() != kGenerationX02) return;
  const bool alt = modifiers & Qt::AltModifier;
  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool shift = modifiers & Qt::ShiftModifier;
  if (alt && shift) {
    AutoDetectBtn->setHidden(!AutoDetectBtn->isHidden());
  } else if ((ctrl && shift) || (alt && ctrl)) {
    MultipleBtn->setHidden(!MultipleBtn->isHidden());
  }
}

void TMainForm::PLMSheetMouseDown(Qt::KeyboardModifiers modifiers) {
  if (!(modifiers & Qt::AltModifier) || !(modifiers & Qt::ShiftModifier)) return;
  transDelayToggle_ = transDelayToggle_ == 0 ? 1 : 0;
  TransDelayValue->setVisible(transDelayToggle_ == 1);
}

TMainForm::OperationGuard::OperationGuard(TMainForm& form)
    : form_(form), acquired_(!form.operationRunning_) {
  if (acquired_) {
    form_.operationRunning_ = true;
    form_.beginOperation();
  } else {
    form_.beep();
  }
}

TMainForm::OperationGuard::~OperationGuard() {
  if (acquired_) {
    form_.operationRunning_ = false;
    form_.endOperation();
  }
}

void TMainForm::PortsBtnClick() {
  TPortsForm ports(session_.startDir, COM_Select->count(), COM_Select->currentIndex(), session_.language(),
                   "/", this);
  ports.exec();
  showPortDevices(COM_Select, PortDeviceLabel, session_.startDir, session_.language());
}

void TMainForm::AutoDetectBtnClick() {
  if (OperationGuard guard(*this); guard) AutoDetect(link(), *this);
}

void TMainForm::runTestButton(int button) {
  if (OperationGuard guard(*this); guard) RunTestButton(link(), button);
}

void TMainForm::Button1Click() { runTestButton(1); }
void TMainForm::Button2Click() { runTestButton(2); }
void TMainForm::Button3Click() { runTestButton(3); }
void TMainForm::Button4Click() { runTestButton(4); }
void TMainForm::Button5Click() { runTestButton(5); }
void TMainForm::Button6Click() { runTestButton(6); }

// --- keys, mouse and focus ---

bool TMainForm::ProgramMemoKeyPress(QPlainTextEdit* editor, QKeyEvent* key) {
  // Typed lower-case letters become upper case; pasted text is left alone.
  if (!isTypingKey(key) || key->text().size() != 1) return false;
  const QChar c = key->text()[0];
  if (c < 'a' || c > 'z') return false;
  QKeyEvent upper(QEvent::KeyPress, key->key(), key->modifiers(), QString(c.toUpper()), key->isAutoRepeat(),
                  static_cast<ushort>(key->count()));
  QApplication::sendEvent(editor, &upper);
  return true;
}

bool TMainForm::COM_SelectKeyPress(QKeyEvent* key) {
  // Typing would jump to an entry by its first letter; the port changes only
  // by choosing an entry.
  return isTypingKey(key);
}

bool TMainForm::TransDelayValueKeyPress(QKeyEvent* key) {
  return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (watched == ProgramMemo || watched == PLMMemo)
        return ProgramMemoKeyPress(static_cast<QPlainTextEdit*>(watched), key);
      if (watched == COM_Select) return COM_SelectKeyPress(key);
      if (watched == TransDelayValue->editor()) return TransDelayValueKeyPress(key);
      break;
    }
    case QEvent::MouseButtonPress: {
      const Qt::KeyboardModifiers modifiers = static_cast<QMouseEvent*>(event)->modifiers();
      if (watched == ProgramSheet) ProgramSheetMouseDown(modifiers);
      if (watched == PLMSheet) PLMSheetMouseDown(modifiers);
      break;
    }
    case QEvent::FocusIn: {
      // Only focus moved within the window counts, not the window being
      // activated again (which would refill the list and drop the checks).
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
      if (watched == QXR102RadioButton) QXR102RadioButtonEnter();
      else if (watched == QXR202RadioButton) QXR202RadioButtonEnter();
      else if (watched == QXR302RadioButton) QXR302RadioButtonEnter();
      else if (watched == QXR101RadioButton) QXR101RadioButtonEnter();
      else if (watched == QXR200RadioButton) QXR200RadioButtonEnter();
      else if (watched == QXR300RadioButton) QXR300RadioButtonEnter();
      else if (watched == VerSDRadioBtn) VerSDRadioBtnEnter();
      else if (watched == VerKRadioBtn) VerKRadioBtnEnter();
      else if (watched == VerMRadioBtn) VerMRadioBtnEnter();
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

// --- closing ---

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!confirmClose()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TMainForm::FormClose() {
  if (CommPort->Enabled()) CommPort->Close();
  session_.settings.defaultPortIndex = COM_Select->currentIndex();
  saveSession(session_);
}

}  // namespace qxr
