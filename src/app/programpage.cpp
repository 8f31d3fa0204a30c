#include "app/programpage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "app/multiplenc.h"
#include "app/ncshopcontrols.h"
#include "app/previewform.h"
#include "app/simulatorform.h"
#include "base/codec.h"
#include "base/host.h"
#include "base/textio.h"
#include "link/link.h"
#include "nc/ncfile.h"
#include "nc/ncops.h"
#include "nc/nctexts.h"
#include "sim/convert.h"
#include "sim/previewtexts.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr int kProgramNameBytes = 8;
constexpr int kProgramLineLabels = 6000;

// The program name is at most 8 bytes on the wire, so the limit counts the
// bytes of the operator's code page (a Chinese character takes two); the
// core's name rule makes letters upper case.
class ProgramNameValidator : public QValidator {
 public:
  ProgramNameValidator(int language, QObject* parent) : QValidator(parent), language_(language) {}
  State validate(QString& input, int&) const override {
    // A character the code page cannot hold would go out as "?".
    const std::string utf8 = input.toStdString();
    if (findUnencodable(utf8, language_) != std::string::npos) return Invalid;
    const std::string bytes = utf8ToBytes(utf8, language_);
    if (bytes.size() > kProgramNameBytes) return Invalid;
    input = QString::fromStdString(bytesToUtf8(programNameRule(bytes, language_), language_));
    return Acceptable;
  }

 private:
  int language_;
};

// A program name typed, pasted or set, through the core's name rule; a name
// the code page cannot hold is left to the validator and the checks.
QString nameByRule(const QString& text, int language) {
  const std::string utf8 = text.toStdString();
  if (findUnencodable(utf8, language) != std::string::npos) return text;
  return QString::fromStdString(
      bytesToUtf8(programNameRule(utf8ToBytes(utf8, language), language), language));
}

// The program page as it was before a receive, put back when the operator
// stops the receive: a program cut short must not pass for the controller's.
class EditorKeeper {
 public:
  explicit EditorKeeper(TProgramPage& page)
      : page_(page),
        text_(page.ProgramMemo->toPlainText()),
        name_(page.ProgNameEdit->text()),
        modified_(page.ProgramMemo->document()->isModified()) {}
  void restore() const {
    page_.ProgramMemo->setPlainText(text_);
    page_.ProgNameEdit->setText(name_);
    page_.ProgramMemo->document()->setModified(modified_);
  }

 private:
  TProgramPage& page_;
  QString text_;
  QString name_;
  bool modified_;
};

}  // namespace

TProgramPage::TProgramPage(PageHost& host) : TWindowPage(host, kProgramPage, "ProgramSheet") {
  build();
  applyCaptions({
      {msg::kProgramEditorCaption, Label1, "程式編輯區"},
      {msg::kProgramMessagesCaption, Label2, "資料傳送/接收訊息區"},
      {msg::kProgramNoLabel, Label3, "程式編號"},
      {msg::kProgramNameLabel, Label4, "程式名稱"},
      {msg::kProgramFileLabel, FileNameLabel, "檔案名稱:"},
      {msg::kPortCaption, Label11, "傳輸COM Port選擇"},
      {msg::kTypeCaption, TypeSel, "QXR TYPE"},
      {msg::kSendButton, TransBtn, "傳送到控制器"},
      {msg::kReceiveButton, RcvBtn, "從控制器接收"},
      {msg::kDeleteButton, DelProgBtn, "刪除QXR程式"},
      {msg::kClearMessagesButton, ClrMsgBtn, "清除訊息"},
      {msg::kOpenFileButton, ReadFileBtn, "讀取檔案"},
      {msg::kSaveFileButton, WriteFileBtn, "儲存檔案"},
      {msg::kSimulationButton, SimulatorBtn, "路徑模擬"},
      {msg::kFindPortButton, AutoDetectBtn, "自動尋找COM埠"},
      {msg::kMultipleButton, MultipleBtn, "多組程式傳送接收"},
      {msg::kExitButton, CloseBtn, "程式結束"},
  });

  connect(ReadFileBtn, &QPushButton::clicked, this, &TProgramPage::ReadFileBtnClick);
  connect(WriteFileBtn, &QPushButton::clicked, this, &TProgramPage::WriteFileBtnClick);
  connect(TransBtn, &QPushButton::clicked, this, &TProgramPage::TransBtnClick);
  connect(RcvBtn, &QPushButton::clicked, this, &TProgramPage::RcvBtnClick);
  connect(DelProgBtn, &QPushButton::clicked, this, &TProgramPage::DelProgBtnClick);
  connect(SimulatorBtn, &QPushButton::clicked, this, &TProgramPage::SimulatorBtnClick);
  connect(PreviewBtn, &QPushButton::clicked, this, &TProgramPage::PreviewBtnClick);
  connect(MultipleBtn, &QPushButton::clicked, this, &TProgramPage::MultipleBtnClick);
  connect(ClrMsgBtn, &QPushButton::clicked, this, &TProgramPage::ClrMsgBtnClick);

  // Program names follow the core's name rule however they arrive, so that
  // the window and qxrtool send and save the same name.
  for (QLineEdit* name : {ProgNameEdit}) {
    connect(name, &QLineEdit::textChanged, name, [name, language = language()](const QString& typed) {
      const QString ruled = nameByRule(typed, language);
      if (ruled == typed) return;
      const int cursor = name->cursorPosition();
      name->setText(ruled);
      name->setCursorPosition(std::min(cursor, static_cast<int>(ruled.size())));
    });
  }
  typeUpperCase(ProgramMemo);
  watchCodePage(ProgramMemo);
  static_cast<TGuardedEditor*>(ProgramMemo)->setInsertGuard([this](const QString& pasted) {
    return pasteFitsProgram(pasted);
  });
  COM_Select->installEventFilter(this);
}

void TProgramPage::build() {
  const QFont fixed = editorFont(language());
  const bool english = language() == 1;

  Label1 = makeLabel(this, "Label1");
  ProgramMemo = makeEditor(this, "ProgramMemo", fixed);
  Memo1 = makeLineColumn(this, "Memo1", fixed, ProgramMemo, kProgramLineLabels);
  FileNameLabel = makeFileLabel(this, "FileNameLabel");

  Label3 = makeLabel(this, "Label3");
  ProgNoEdit = new QSpinBox(this);
  ProgNoEdit->setObjectName("ProgNoEdit");
  ProgNoEdit->setRange(1, 99);
  ProgNoEdit->setValue(1);
  Label4 = makeLabel(this, "Label4");
  ProgNameEdit = new QLineEdit(this);
  ProgNameEdit->setObjectName("ProgNameEdit");
  ProgNameEdit->setMaxLength(kProgramNameBytes);
  ProgNameEdit->setValidator(new ProgramNameValidator(language(), ProgNameEdit));

  TypeSel = new TRadioGroup(QStringLiteral("QXR TYPE"), this);
  TypeSel->setObjectName("TypeSel");
  TypeSel->setItems({QStringLiteral("QXR X02"), QStringLiteral("QXR X00/X01")});
  TypeSel->setItemIndex(0);
  Label11 = makeLabel(this, "Label11");
  COM_Select = new QComboBox(this);
  COM_Select->setObjectName("COM_Select");
  COM_Select->setEditable(false);
  PortsBtn = new QToolButton(this);
  PortsBtn->setObjectName("PortsBtn");
  PortsBtn->setText(english ? QStringLiteral("Ports…") : QString::fromUtf8("通訊埠…"));
  PortsBtn->setToolTip(english ? QStringLiteral("Serial devices and which COM entry opens which")
                               : QString::fromUtf8("序列埠裝置與各 COM 項目所開啟的裝置"));
  PortDeviceLabel = makeLabel(this, "PortDeviceLabel");
  PortDeviceLabel->setMaximumWidth(200);

  Label2 = makeLabel(this, "Label2");
  MsgMemo = makeMessageBox(this, "MsgMemo");

  ReadFileBtn = makeButton(this, "ReadFileBtn");
  WriteFileBtn = makeButton(this, "WriteFileBtn");
  TransBtn = makeButton(this, "TransBtn");
  RcvBtn = makeButton(this, "RcvBtn");
  DelProgBtn = makeButton(this, "DelProgBtn");
  SimulatorBtn = makeButton(this, "SimulatorBtn");
  PreviewBtn = makeButton(this, "PreviewBtn");
  PreviewBtn->setText(QString::fromStdString(previewText(language(), PreviewText::kPreview)));
  MultipleBtn = makeButton(this, "MultipleBtn");
  AutoDetectBtn = makeButton(this, "AutoDetectBtn");
  ClrMsgBtn = makeButton(this, "ClrMsgBtn");
  CloseBtn = makeButton(this, "CloseBtn");
  MultipleBtn->hide();
  AutoDetectBtn->hide();

  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText(english ? QStringLiteral("Manual") : QString::fromUtf8("手冊"));
  SpeedButton1->setToolTip(english ? QStringLiteral("Open the user manual")
                                   : QString::fromUtf8("開啟使用手冊"));
  VersionBtn = new QToolButton(this);
  VersionBtn->setObjectName("VersionBtn");
  VersionBtn->setText(english ? QStringLiteral("About") : QString::fromUtf8("關於"));
  VersionBtn->setToolTip(english ? QStringLiteral("About this program") : QString::fromUtf8("關於本軟體"));

  QPushButton** tests[] = {&Button1, &Button2, &Button3, &Button4, &Button5, &Button6};
  for (int i = 0; i < 6; ++i) {
    *tests[i] = new QPushButton(QStringLiteral("Button%1").arg(i + 1), this);
    (*tests[i])->setObjectName(QStringLiteral("Button%1").arg(i + 1));
    (*tests[i])->hide();
  }

  // Editor with its line labels on the left; number, name, type, port,
  // messages and buttons on the right.
  auto* left = new QVBoxLayout;
  left->addWidget(Label1);
  auto* editorRow = new QHBoxLayout;
  editorRow->setSpacing(0);
  editorRow->addWidget(Memo1);
  editorRow->addWidget(ProgramMemo, 1);
  left->addLayout(editorRow, 1);
  left->addWidget(FileNameLabel);

  auto* right = new QVBoxLayout;
  auto* fields = new QGridLayout;
  fields->addWidget(Label3, 0, 0);
  fields->addWidget(ProgNoEdit, 0, 1);
  fields->addWidget(Label4, 1, 0);
  fields->addWidget(ProgNameEdit, 1, 1);
  auto* corner = new QHBoxLayout;
  corner->addStretch();
  corner->addWidget(SpeedButton1);
  corner->addWidget(VersionBtn);
  fields->addLayout(corner, 0, 2);
  fields->setColumnStretch(1, 1);
  right->addLayout(fields);
  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(TypeSel, 1);
  auto* portColumn = new QVBoxLayout;
  portColumn->addWidget(Label11);
  auto* portRow = new QHBoxLayout;
  portRow->addWidget(COM_Select, 1);
  portRow->addWidget(PortsBtn);
  portColumn->addLayout(portRow);
  portColumn->addWidget(PortDeviceLabel);
  portColumn_ = portColumn;
  portColumn->addStretch();
  typeRow->addLayout(portColumn, 1);
  right->addLayout(typeRow);
  right->addWidget(Label2);
  right->addWidget(MsgMemo, 1);
  auto* buttons = new QGridLayout;
  buttons->addWidget(ReadFileBtn, 0, 0);
  buttons->addWidget(WriteFileBtn, 0, 1);
  buttons->addWidget(TransBtn, 1, 0);
  buttons->addWidget(RcvBtn, 1, 1);
  buttons->addWidget(DelProgBtn, 2, 0);
  buttons->addWidget(SimulatorBtn, 2, 1);
  buttons->addWidget(PreviewBtn, 3, 1);  // the whole path, under the simulator
  buttons->addWidget(MultipleBtn, 4, 0);
  buttons->addWidget(AutoDetectBtn, 4, 1);
  buttons->addWidget(ClrMsgBtn, 5, 0);
  buttons->addWidget(CloseBtn, 5, 1);
  addShopControls(*this, buttons, 6);
  right->addLayout(buttons);

  auto* page = new QHBoxLayout(this);
  page->addLayout(left, 11);
  page->addLayout(right, 9);
}

// A paste that would take the program past what the controller and the
// editor hold (lines, or a line's frame) is refused whole, with the reason:
// laying out hundreds of thousands of lines would freeze the window, and
// the program could never be sent or read back.
bool TProgramPage::pasteFitsProgram(const QString& pasted) {
  const QTextDocument* document = ProgramMemo->document();
  const QTextCursor cursor = ProgramMemo->textCursor();
  const int firstLine = document->findBlock(cursor.selectionStart()).blockNumber();
  const int lastLine = document->findBlock(cursor.selectionEnd()).blockNumber();
  const auto problem = checkProgramTextBound(bytes(pasted), static_cast<std::size_t>(firstLine),
                                             static_cast<std::size_t>(document->blockCount() - lastLine - 1));
  if (!problem) return true;
  host_.linkHost().appendPageLine(kProgramPage, lineProblemText(language(), *problem, Refused::kPaste));
  host_.linkHost().beep();
  return false;
}

void TProgramPage::addBelowPortList(QWidget* row) {
  portColumn_->insertWidget(portColumn_->count() - 1, row);  // above the stretch
}

// --- NcPage ---

std::vector<std::string> TProgramPage::programLines() const {
  return editorLines(ProgramMemo, language());
}

void TProgramPage::setProgramLines(std::vector<std::string> lines) {
  ProgramMemo->setPlainText(editorText(lines, language()));
}

void TProgramPage::appendProgramLine(std::string_view line) {
  QTextCursor cursor(ProgramMemo->document());
  cursor.movePosition(QTextCursor::End);
  if (!cursor.block().text().isEmpty()) cursor.insertText(QStringLiteral("\n"));
  cursor.insertText(text(line) + QLatin1Char('\n'));
}

int TProgramPage::programNumber() const {
  return ProgNoEdit->value();
}
void TProgramPage::setProgramNumber(int number) {
  ProgNoEdit->setValue(number);
}
std::string TProgramPage::programName() const {
  return bytes(ProgNameEdit->text());
}
void TProgramPage::setProgramName(std::string_view name) {
  ProgNameEdit->setText(text(name));
}
int TProgramPage::generation() const {
  return TypeSel->itemIndex() == kGenerationX00 ? kGenerationX00 : kGenerationX02;
}

void TProgramPage::setFileLabel(std::string_view label) {
  FileNameLabel->setText(QString::fromStdString(displayUtf8(label, language())));
}
void TProgramPage::clearMessages() {
  MsgMemo->clear();
}
// Painting is suspended rather than the widget hidden, so that the page's
// layout does not jump while a file fills the editor.
void TProgramPage::setEditorVisible(bool visible) {
  ProgramMemo->setUpdatesEnabled(visible);
}
void TProgramPage::focusEditor() {
  ProgramMemo->setFocus();
}
void TProgramPage::scrollEditorToTop() {
  ProgramMemo->moveCursor(QTextCursor::Start);
  ProgramMemo->verticalScrollBar()->setValue(0);
}

// The window title carries the progress; the message box keeps only the
// operations' own lines.
void TProgramPage::showProgress(std::string_view progress) {
  host_.showTitleProgress(QString::fromStdString(std::string(progress)));
}

// --- handlers ---

NcOperations TProgramPage::operations() {
  return NcOperations(operationParts(host_.link()), *this);
}

void TProgramPage::ReadFileBtnClick() {
  readFileWith([this](const std::string& path) {
    NcOperations reader = operations();
    return askPlainProgramHeader(*this, path, reader.givenHeader) && reader.readFile(path);
  });
}

void TProgramPage::WriteFileBtnClick() {
  writeFileWith([this](const std::string& path) { return operations().writeFile(path); });
}

void TProgramPage::TransBtnClick() {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSend)) return;
  if (host_.journalled("nc send", [&] { return operations().send() && verifyAfterSendIfChosen(*this); }))
    host_.markSaved(kProgramPage);
}

void TProgramPage::RcvBtnClick() {
  if (!host_.settleUnsavedWork(kProgramPage)) return;
  OperationGuard guard(host_);
  if (!guard) return;
  const EditorKeeper kept(*this);
  if (host_.journalled("nc receive", [&] { return operations().receive(); }))
    host_.markSaved(kProgramPage);
  else if (host_.linkHost().stopRequested())
    kept.restore();
}

void TProgramPage::DelProgBtnClick() {
  OperationGuard guard(host_);
  if (guard) host_.journalled("nc delete", [&] { return operations().deleteProgram(); });
}

void TProgramPage::MultipleBtnClick() {
  if (!host_.settleUnsavedWork(kProgramPage)) return;
  OperationGuard guard(host_);
  if (!guard) return;
  MultipleBtn->hide();
  MultipleChoice choice;
  {
    TMultipleNCForm form(host_.session(), host_.fileChoice(), host_.session().startDir, window());
    runMultipleForm(form);
    choice = form.choice();
  }
  if (choice.tooManyFiles) {
    host_.link().ShowPageMessage(0, ncText(language(), NcText::kTooManyFiles, {}, kBatchFileLimit));
    host_.linkHost().beep();
    return;
  }
  if (!choice.chosen) return;
  NcOperations batch = operations();
  bool done = false;
  if (choice.mode == kBatchReadMany) {
    host_.journalEachProgram(batch, "nc read-many");
    done = batch.readMany(choice);
  } else if (choice.mode == kBatchWriteMany) {
    host_.journalEachProgram(batch, "nc write-many");
    done = batch.writeMany(choice, host_.session().settings.multipleInquire) && verifyBatchIfChosen(*this, choice);
  }
  if (done || editorHoldsBatchFile(choice, generation() == kGenerationX02, programLines()))
    host_.markSaved(kProgramPage);
}

// Converts the program and, when that succeeds, opens the simulator on it.
void TProgramPage::SimulatorBtnClick() {
  OperationGuard guard(host_);
  // The conversion dump is a file: it gets no "?" for the operator's text.
  if (!guard || !editorTextFitsCodePage(Refused::kSimulate)) return;
  Session& session = host_.session();
  const std::vector<std::string> lines = programLines();
  NcConverter converter;
  const std::string dumpPath = joinPath(session.startDir, "Test.TXT");
  const SimulatorConversion outcome =
      convertForSimulator(converter, lines, dumpPath, session.catalogue, host_.linkHost());
  // The run does not need the dump; the operator is told that it is missing.
  if (!outcome.emptyProgram && !outcome.dumpWritten)
    host_.linkHost().appendPageLine(kProgramPage, fileErrorText(language(), outcome.dumpError, dumpPath));
  if (!outcome.ok()) return;
  TSimulatorForm simulator(session, std::move(converter.table()), lines, SystemClock::instance(), window());
  simulator.exec();
}

// The whole path of the editor's program, whatever its length; words the
// conversion refuses are listed in the window and left out.
void TProgramPage::PreviewBtnClick() {
  OperationGuard guard(host_);
  if (!guard) return;
  TPreviewForm preview(host_.session(), programLines(), window());
  preview.exec();
}

void TProgramPage::ClrMsgBtnClick() {
  MsgMemo->clear();
}

void TProgramPage::ProgramSheetMouseDown(Qt::KeyboardModifiers modifiers) {
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

void TProgramPage::mousePressEvent(QMouseEvent* event) {
  ProgramSheetMouseDown(event->modifiers());
  TWindowPage::mousePressEvent(event);
}

// Typing would jump to a port entry by its first letter; the port changes
// only by choosing an entry.
bool TProgramPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == COM_Select && event->type() == QEvent::KeyPress &&
      isTypingKey(static_cast<QKeyEvent*>(event)))
    return true;
  return TWindowPage::eventFilter(watched, event);
}

}  // namespace qxr
