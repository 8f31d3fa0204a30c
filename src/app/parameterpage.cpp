#include "app/parameterpage.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/parammemo.h"
#include "base/codec.h"
#include "base/host.h"
#include "link/link.h"

namespace qxr {

TParameterPage::TParameterPage(PageHost& host) : TWindowPage(host, kParameterPage, "ParameterSheet") {
  build();
  applyCaptions({
      {msg::kParameterEditorCaption, Label7, "參數編輯區"},
      {msg::kParameterMessagesCaption, Label6, "資料傳送/接收訊息區"},
      {msg::kParametersToReadCaption, Label5, "讀取參數選項"},
      {msg::kFileLabel, ParFileNameLabel, "檔案名稱:"},
      {msg::kVersionCaption, Label10, "控制器版本"},
      {msg::kParameterSendButton, ParTrnBtn, "傳送參數到控制器"},
      {msg::kParameterReceiveButton, ParRcvBtn, "從控制器接收參數"},
      {msg::kParameterClearButton, ClrMsgBtn2, "清除訊息"},
      {msg::kParameterOpenButton, ReadParBtn, "讀取檔案"},
      {msg::kParameterSaveButton, WriteParBtn, "儲存檔案"},
      {msg::kParameterSelectAll, SelAllBtn, "全選"},
      {msg::kParameterClearSelection, CancelSelBtn, "取消選擇"},
      {msg::kParameterExitButton, CloseBtn2, "程式結束"},
  });
  connect(SelAllBtn, &QPushButton::clicked, this, &TParameterPage::SelAllBtnClick);
  connect(CancelSelBtn, &QPushButton::clicked, this, &TParameterPage::CancelSelBtnClick);
  connect(ReadParBtn, &QPushButton::clicked, this, &TParameterPage::ReadParBtnClick);
  connect(WriteParBtn, &QPushButton::clicked, this, &TParameterPage::WriteParBtnClick);
  connect(ParTrnBtn, &QPushButton::clicked, this, &TParameterPage::ParTrnBtnClick);
  connect(ParRcvBtn, &QPushButton::clicked, this, &TParameterPage::ParRcvBtnClick);
  connect(ClrMsgBtn2, &QPushButton::clicked, this, &TParameterPage::ClrMsgBtn2Click);
  for (int i = 0; i < kModelCount; ++i) modelButton(i)->installEventFilter(this);
  for (int i = 0; i < 3; ++i) versionButton(i)->installEventFilter(this);
  watchCodePage(ParameterMemo);
}

void TParameterPage::build() {
  Label5 = makeLabel(this, "Label5");
  ParaCheckListBox = new QListWidget(this);
  ParaCheckListBox->setObjectName("ParaCheckListBox");
  SelAllBtn = makeButton(this, "SelAllBtn");
  CancelSelBtn = makeButton(this, "CancelSelBtn");

  Label7 = makeLabel(this, "Label7");
  ParameterMemo = makeEditor(this, "ParameterMemo", editorFont(language()));
  ParFileNameLabel = makeFileLabel(this, "ParFileNameLabel");

  auto* models = new QGroupBox(this);
  models->setObjectName("ModelBox");
  QRadioButton** modelButtons[] = {&QXR102RadioButton, &QXR202RadioButton, &QXR302RadioButton,
                                   &QXR101RadioButton, &QXR200RadioButton, &QXR300RadioButton};
  auto* modelGroup = new QButtonGroup(this);
  auto* modelGrid = new QGridLayout(models);
  for (int i = 0; i < kModelCount; ++i) {
    auto* b = new QRadioButton(QString::fromLatin1(kModelNames[i]), models);
    b->setObjectName(QStringLiteral("%1RadioButton").arg(kModelNames[i]));
    modelGroup->addButton(b, i);
    // X02 models in the first column, X00/X01 in the second.
    modelGrid->addWidget(b, i % 3, i / 3);
    *modelButtons[i] = b;
  }

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::StyledPanel);
  Label10 = makeLabel(Panel1, "Label10");
  auto* versionGroup = new QButtonGroup(this);
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->addWidget(Label10);
  auto* versionRow = new QHBoxLayout;
  QRadioButton** versionButtons[] = {&VerSDRadioBtn, &VerKRadioBtn, &VerMRadioBtn};
  const char* versionNames[] = {"VerSDRadioBtn", "VerKRadioBtn", "VerMRadioBtn"};
  for (int i = 0; i < 3; ++i) {
    auto* b = new QRadioButton(QString::fromLatin1(kVersionNames[i]), Panel1);
    b->setObjectName(versionNames[i]);
    versionGroup->addButton(b, i);
    versionRow->addWidget(b);
    *versionButtons[i] = b;
  }
  panelLayout->addLayout(versionRow);

  Label6 = makeLabel(this, "Label6");
  ParMsgMemo = makeMessageBox(this, "ParMsgMemo");
  ReadParBtn = makeButton(this, "ReadParBtn");
  WriteParBtn = makeButton(this, "WriteParBtn");
  ParTrnBtn = makeButton(this, "ParTrnBtn");
  ParRcvBtn = makeButton(this, "ParRcvBtn");
  ClrMsgBtn2 = makeButton(this, "ClrMsgBtn2");
  CloseBtn2 = makeButton(this, "CloseBtn2");

  auto* list = new QVBoxLayout;
  list->addWidget(Label5);
  list->addWidget(ParaCheckListBox, 1);
  auto* selectRow = new QHBoxLayout;
  selectRow->addWidget(SelAllBtn);
  selectRow->addWidget(CancelSelBtn);
  list->addLayout(selectRow);

  auto* editorColumn = new QVBoxLayout;
  editorColumn->addWidget(Label7);
  editorColumn->addWidget(ParameterMemo, 1);
  editorColumn->addWidget(ParFileNameLabel);

  auto* right = new QVBoxLayout;
  right->addWidget(models);
  right->addWidget(Panel1);
  right->addWidget(Label6);
  right->addWidget(ParMsgMemo, 1);
  auto* buttons = new QGridLayout;
  buttons->addWidget(ReadParBtn, 0, 0);
  buttons->addWidget(WriteParBtn, 0, 1);
  buttons->addWidget(ParTrnBtn, 1, 0);
  buttons->addWidget(ParRcvBtn, 1, 1);
  buttons->addWidget(ClrMsgBtn2, 2, 0);
  buttons->addWidget(CloseBtn2, 2, 1);
  right->addLayout(buttons);

  auto* page = new QHBoxLayout(this);
  page->addLayout(list, 12);
  page->addLayout(editorColumn, 10);
  page->addLayout(right, 13);
}

// --- ParameterPage ---

std::vector<std::string> TParameterPage::parameterLines() const {
  return memoLines(*ParameterMemo, language());
}
void TParameterPage::setParameterLines(const std::vector<std::string>& lines) {
  setMemoLines(*ParameterMemo, lines, language());
}
void TParameterPage::appendParameterLine(std::string_view line) {
  appendMemoLine(*ParameterMemo, line, language());
}

std::vector<int> TParameterPage::checkedEntries() const {
  std::vector<int> checked;
  for (int row = 0; row < ParaCheckListBox->count(); ++row)
    if (ParaCheckListBox->item(row)->checkState() == Qt::Checked) checked.push_back(row);
  return checked;
}

void TParameterPage::setFileLabel(std::string_view label) {
  ParFileNameLabel->setText(QString::fromStdString(displayUtf8(label, language())));
}

void TParameterPage::showLastParameterLine() {
  ParameterMemo->setFocus();
  ParameterMemo->moveCursor(QTextCursor::End);
  ParameterMemo->ensureCursorVisible();
}

// --- the list ---

void TParameterPage::LoadAdditionalParameterLists() {
  catalogue_.loadAdditionalLists(host_.session().startDir, language());
}

void TParameterPage::SetParameterList(int modelIndex) {
  Session& session = host_.session();
  session.modelIndex = modelIndex;
  list_ = catalogue_.build(session.startDir, modelIndex, session.versionIndex, language());
  ParaCheckListBox->setUpdatesEnabled(false);
  ParaCheckListBox->clear();
  for (const ParameterEntry& entry : list_) {
    auto* item = new QListWidgetItem(text(entry.name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setToolTip(item->text());  // a long name is cut in the list
    ParaCheckListBox->addItem(item);
  }
  ParaCheckListBox->setUpdatesEnabled(true);
}

QRadioButton* TParameterPage::modelButton(int modelIndex) const {
  QRadioButton* const buttons[] = {QXR102RadioButton, QXR202RadioButton, QXR302RadioButton,
                                   QXR101RadioButton, QXR200RadioButton, QXR300RadioButton};
  return (modelIndex >= 0 && modelIndex < kModelCount) ? buttons[modelIndex] : nullptr;
}

void TParameterPage::selectModelAndVersion(int modelIndex, int versionIndex) {
  if (QRadioButton* button = modelButton(modelIndex)) button->setChecked(true);
  SetParameterList(modelIndex);
  selectVersion(versionIndex);
}

QRadioButton* TParameterPage::versionButton(int versionIndex) const {
  QRadioButton* const buttons[] = {VerSDRadioBtn, VerKRadioBtn, VerMRadioBtn};
  return (versionIndex >= 0 && versionIndex < 3) ? buttons[versionIndex] : nullptr;
}

void TParameterPage::checkModel(int modelIndex) {
  if (QRadioButton* b = modelButton(modelIndex)) {
    b->setChecked(true);
    host_.session().modelIndex = modelIndex;
  }
}

void TParameterPage::selectVersion(int versionIndex) {
  if (QRadioButton* b = versionButton(versionIndex)) {
    b->setChecked(true);
    host_.session().versionIndex = versionIndex;
  }
}

// The X02 models have their own default version; the X00/X01 models leave it.
void TParameterPage::modelEntered(int modelIndex) {
  if (modelIndex == 0)
    selectVersion(1);
  else if (modelIndex < 3)
    selectVersion(0);
  SetParameterList(modelIndex);
}

void TParameterPage::versionEntered(int versionIndex) {
  host_.session().versionIndex = versionIndex;
  SetParameterList(host_.session().modelIndex);
}

bool TParameterPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    // Only focus moved within the window counts, not the window being
    // activated again (which would refill the list and drop the checks).
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      for (int i = 0; i < kModelCount; ++i)
        if (watched == modelButton(i)) modelEntered(i);
      for (int i = 0; i < 3; ++i)
        if (watched == versionButton(i)) versionEntered(i);
    }
  }
  return TWindowPage::eventFilter(watched, event);
}

void TParameterPage::checkAll(Qt::CheckState state) {
  for (int i = 0; i < ParaCheckListBox->count(); ++i) {
    QListWidgetItem* item = ParaCheckListBox->item(i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(state);
  }
}

void TParameterPage::SelAllBtnClick() {
  checkAll(Qt::Checked);
}
void TParameterPage::CancelSelBtnClick() {
  checkAll(Qt::Unchecked);
}
void TParameterPage::ClrMsgBtn2Click() {
  ParMsgMemo->clear();
}

// --- operations ---

void TParameterPage::ReadParBtnClick() {
  readFileWith([this](const std::string& path) {
    return readParameterFile(path, host_.session(), host_.linkHost(), *this);
  });
}

void TParameterPage::WriteParBtnClick() {
  writeFileWith([this](const std::string& path) {
    return writeParameterFile(path, host_.session(), host_.linkHost(), *this);
  });
}

void TParameterPage::ParTrnBtnClick() {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSend)) return;
  if (host_.journalled("param send", [&] { return sendParameters(operationParts(host_.link()), *this); }))
    host_.markSaved(kParameterPage);
}

void TParameterPage::ParRcvBtnClick() {
  if (!host_.settleUnsavedWork(kParameterPage)) return;
  OperationGuard guard(host_);
  if (!guard) return;
  // A copy: the list may be rebuilt (page change, model choice) while the
  // transfer waits and processes events.
  const ParameterEntries list = list_;
  if (host_.journalled("param receive", [&] { return receiveParameters(operationParts(host_.link()), *this, list); }))
    host_.markSaved(kParameterPage);
}

}  // namespace qxr
