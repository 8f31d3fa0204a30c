#include "app/plcpage.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "base/codec.h"
#include "base/host.h"
#include "base/settings.h"
#include "link/link.h"
#include "plc/plcops.h"
#include "widgets/fspinedit.h"

namespace qxr {

namespace {

constexpr int kPlcLineLabels = 1024;
constexpr int kTransDelayMax = 5000;
constexpr int kTransDelayChars = 4;

}  // namespace

TPlcPage::TPlcPage(PageHost& host) : TWindowPage(host, kPlcPage, "PLMSheet") {
  build();
  applyCaptions({
      {msg::kPlcEditorCaption, Label8, "程式編輯區"},
      {msg::kPlcFileLabel, PLMFileNameLabel, "檔案名稱:"},
      {msg::kPlcMessagesCaption, Label9, "資料傳送/接收訊息區"},
      {msg::kPlcSendButton, PLMTrnBtn, "傳送到控制器"},
      {msg::kPlcReceiveButton, PLMRcvBtn, "從控制器接收"},
      {msg::kPlcClearButton, ClrMsgBtn3, "清除訊息"},
      {msg::kPlcOpenButton, ReadPLMBtn, "讀取檔案"},
      {msg::kPlcSaveButton, WritePLMBtn, "儲存檔案"},
      {msg::kPlcExitButton, CloseBtn3, "程式結束"},
  });
  connect(ReadPLMBtn, &QPushButton::clicked, this, &TPlcPage::ReadPLMBtnClick);
  connect(WritePLMBtn, &QPushButton::clicked, this, &TPlcPage::WritePLMBtnClick);
  connect(PLMTrnBtn, &QPushButton::clicked, this, &TPlcPage::PLMTrnBtnClick);
  connect(PLMRcvBtn, &QPushButton::clicked, this, &TPlcPage::PLMRcvBtnClick);
  connect(ClrMsgBtn3, &QPushButton::clicked, this, &TPlcPage::ClrMsgBtn3Click);
  // The field shows the delay that is used; the setting itself is written
  // back unchanged unless the operator sets another.
  TransDelayValue->setText(
      QString::number(plcTransferDelayInUse(host_.session().settings.plcTransferDelayMs)));
  connect(TransDelayValue, &TFSpinEdit::valueChanged, this, &TPlcPage::TransDelayValueChange);
  // A typed delay beyond the range is used as its nearest end, and shown so.
  connect(TransDelayValue->editor(), &QLineEdit::editingFinished, this, [this] {
    const int used = plcTransferDelayInUse(TransDelayValue->Value());
    if (TransDelayValue->text() != QString::number(used)) TransDelayValue->setText(QString::number(used));
  });
  TransDelayValue->editor()->installEventFilter(this);
  typeUpperCase(PLMMemo);
  watchCodePage(PLMMemo);
}

void TPlcPage::build() {
  const QFont fixed = editorFont(language());
  Label8 = makeLabel(this, "Label8");
  PLMMemo = makeEditor(this, "PLMMemo", fixed);
  Memo2 = makeLineColumn(this, "Memo2", fixed, PLMMemo, kPlcLineLabels);
  PLMFileNameLabel = makeFileLabel(this, "PLMFileNameLabel");
  Label9 = makeLabel(this, "Label9");
  PLMMsgMemo = makeMessageBox(this, "PLMMsgMemo");
  Progress = makeLabel(this, "Progress");
  Progress->setFrameShape(QFrame::Panel);
  Progress->setFrameShadow(QFrame::Sunken);
  Progress->setFont(fixed);
  Progress->hide();
  TmpMemo = new QPlainTextEdit(this);
  TmpMemo->setObjectName("TmpMemo");
  TmpMemo->hide();
  TransDelayValue = new TFSpinEdit(this);
  TransDelayValue->setObjectName("TransDelayValue");
  TransDelayValue->SetMinValue(0);
  TransDelayValue->SetMaxValue(kTransDelayMax);
  TransDelayValue->SetIncrement(1);
  TransDelayValue->SetMaxLength(kTransDelayChars);
  TransDelayValue->setFixedWidth(90);
  TransDelayValue->setToolTip(language() == 1 ? QStringLiteral("PLC transfer delay (ms)")
                                              : QString::fromUtf8("PLC傳送延遲(毫秒)"));
  TransDelayValue->hide();
  PLMTrnBtn = makeButton(this, "PLMTrnBtn");
  PLMRcvBtn = makeButton(this, "PLMRcvBtn");
  ReadPLMBtn = makeButton(this, "ReadPLMBtn");
  WritePLMBtn = makeButton(this, "WritePLMBtn");
  ClrMsgBtn3 = makeButton(this, "ClrMsgBtn3");
  CloseBtn3 = makeButton(this, "CloseBtn3");

  auto* left = new QVBoxLayout;
  left->addWidget(Label8);
  auto* editorRow = new QHBoxLayout;
  editorRow->setSpacing(0);
  editorRow->addWidget(Memo2);
  editorRow->addWidget(PLMMemo, 1);
  left->addLayout(editorRow, 1);
  left->addWidget(PLMFileNameLabel);

  auto* right = new QVBoxLayout;
  right->addWidget(Label9);
  right->addWidget(PLMMsgMemo, 1);
  right->addWidget(Progress);
  auto* delayRow = new QHBoxLayout;
  delayRow->addStretch();
  delayRow->addWidget(TransDelayValue);
  right->addLayout(delayRow);
  auto* buttons = new QGridLayout;
  buttons->addWidget(ReadPLMBtn, 0, 0);
  buttons->addWidget(WritePLMBtn, 0, 1);
  buttons->addWidget(PLMTrnBtn, 1, 0);
  buttons->addWidget(PLMRcvBtn, 1, 1);
  buttons->addWidget(ClrMsgBtn3, 2, 0);
  buttons->addWidget(CloseBtn3, 2, 1);
  right->addLayout(buttons);

  auto* page = new QHBoxLayout(this);
  page->addLayout(left, 11);
  page->addLayout(right, 9);
}

// --- PlcPage ---

std::vector<std::string> TPlcPage::editorLines() const {
  return qxr::editorLines(PLMMemo, language());
}
void TPlcPage::setEditorLines(std::vector<std::string> lines) {
  PLMMemo->setPlainText(editorText(lines, language()));
}
void TPlcPage::focusEditor() {
  PLMMemo->setFocus();
}
void TPlcPage::scrollEditorToEnd() {
  PLMMemo->moveCursor(QTextCursor::End);
  PLMMemo->ensureCursorVisible();
}
void TPlcPage::setReceivedLines(std::vector<std::string> lines) {
  TmpMemo->setPlainText(editorText(lines, language()));
}
void TPlcPage::setFileLabel(std::string_view label) {
  PLMFileNameLabel->setText(QString::fromStdString(displayUtf8(label, language())));
}
void TPlcPage::showProgress(std::string_view progress, bool alignRight) {
  Progress->setAlignment((alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  Progress->setText(QString::fromLatin1(progress.data(), static_cast<int>(progress.size())));
  Progress->show();
}
void TPlcPage::hideProgress() {
  Progress->hide();
}
int TPlcPage::transferDelayMs() const {
  return plcTransferDelayInUse(TransDelayValue->Value());
}

// --- the page's own controls ---

void TPlcPage::entered() {
  TransDelayValue->hide();
  transDelayToggle_ = 0;
  plcFilePath_ = "Tmp.mcn";
}

void TPlcPage::ClrMsgBtn3Click() {
  PLMMsgMemo->clear();
}

void TPlcPage::TransDelayValueChange() {
  host_.session().settings.plcTransferDelayMs = plcTransferDelayInUse(TransDelayValue->Value());
}

void TPlcPage::PLMSheetMouseDown(Qt::KeyboardModifiers modifiers) {
  if (!(modifiers & Qt::AltModifier) || !(modifiers & Qt::ShiftModifier)) return;
  transDelayToggle_ = transDelayToggle_ == 0 ? 1 : 0;
  TransDelayValue->setVisible(transDelayToggle_ == 1);
}

void TPlcPage::mousePressEvent(QMouseEvent* event) {
  PLMSheetMouseDown(event->modifiers());
  TWindowPage::mousePressEvent(event);
}

// Enter in the delay box is swallowed.
bool TPlcPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TransDelayValue->editor() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  }
  return TWindowPage::eventFilter(watched, event);
}

// --- operations ---

PlcOperations TPlcPage::operations() {
  return PlcOperations(operationParts(host_.link()), *this, tables_);
}

void TPlcPage::ReadPLMBtnClick() {
  readFileWith([this](const std::string& path) { return operations().readFile(path); });
}

void TPlcPage::WritePLMBtnClick() {
  writeFileWith([this](const std::string& path) { return operations().writeFile(path); });
}

void TPlcPage::PLMTrnBtnClick() {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSend)) return;
  if (host_.journalled("plc send", [&] { return operations().send(); })) host_.markSaved(kPlcPage);
}

void TPlcPage::PLMRcvBtnClick() {
  if (!host_.settleUnsavedWork(kPlcPage)) return;
  OperationGuard guard(host_);
  if (!guard) return;
  if (host_.journalled("plc receive", [&] { return operations().receive(); })) host_.markSaved(kPlcPage);
}

}  // namespace qxr
