// The main window's pages: their components, layout and captions.
#include "app/mainform.h"

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
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QValidator>
#include <QVBoxLayout>
#include <cmath>

#include "base/codec.h"
#include "app/filewindows.h"
#include "app/msgdlg.h"
#include "base/settings.h"
#include "app/splash.h"
#include "link/comm.h"
#include "link/detect.h"
#include "link/link.h"
#include "link/testsequences.h"
#include "sim/previewtexts.h"
#include "nc/ncfile.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"


namespace qxr {

namespace {

constexpr int kProgramNameBytes = 8;
constexpr int kTransDelayMax = 5000;
constexpr int kTransDelayChars = 4;


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

// The editors' fixed-pitch font. Chinese text needs a font that has its
// characters itself: a fallback font for them makes those lines taller, and
// the line labels beside the editor would drift from the lines.
QFont editorFont(int language) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (language != 1) {
    const QStringList installed = QFontDatabase::families();
    for (const char* family : {"WenQuanYi Micro Hei Mono", "Noto Sans Mono CJK TC", "Noto Sans Mono CJK SC",
                               "Sarasa Mono TC", "AR PL UMing TW"}) {
      if (installed.contains(QString::fromLatin1(family))) {
        font = QFont(QString::fromLatin1(family));
        font.setStyleHint(QFont::TypeWriter);
        break;
      }
    }
  }
  font.setPixelSize(14);
  return font;
}

QPlainTextEdit* makeEditor(QWidget* parent, const char* name, const QFont& font) {
  auto* editor = new QPlainTextEdit(parent);
  editor->setObjectName(name);
  editor->setFont(font);
  editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  editor->setWordWrapMode(QTextOption::NoWrap);
  editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return editor;
}

QPlainTextEdit* makeMessageBox(QWidget* parent, const char* name) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return box;
}

// The disabled column of line labels beside an editor; it never scrolls by
// itself and follows the editor's first visible line.
QPlainTextEdit* makeLineColumn(QWidget* parent, const char* name, const QFont& font) {
  auto* column = new QPlainTextEdit(parent);
  column->setObjectName(name);
  column->setFont(font);
  column->setReadOnly(true);
  column->setEnabled(false);
  column->setLineWrapMode(QPlainTextEdit::NoWrap);
  column->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  column->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  column->setFocusPolicy(Qt::NoFocus);
  column->setFixedWidth(QFontMetrics(font).horizontalAdvance("N00000") + 14);
  return column;
}

QPushButton* makeButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  button->setMinimumHeight(30);
  return button;
}

QLabel* makeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  return label;
}

// A label showing a path: long paths are clipped instead of widening the
// fixed-size window.
QLabel* makeFileLabel(QWidget* parent, const char* name) {
  QLabel* label = makeLabel(parent, name);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

// --- building the pages ---

void TMainForm::buildProgramSheet() {
  ProgramSheet = new QWidget;
  ProgramSheet->setObjectName("ProgramSheet");
  const QFont fixed = editorFont(session_.language());

  Label1 = makeLabel(ProgramSheet, "Label1");
  ProgramMemo = makeEditor(ProgramSheet, "ProgramMemo", fixed);
  Memo1 = makeLineColumn(ProgramSheet, "Memo1", fixed);
  FileNameLabel = makeFileLabel(ProgramSheet, "FileNameLabel");

  Label3 = makeLabel(ProgramSheet, "Label3");
  ProgNoEdit = new QSpinBox(ProgramSheet);
  ProgNoEdit->setObjectName("ProgNoEdit");
  ProgNoEdit->setRange(1, 99);
  ProgNoEdit->setValue(1);
  Label4 = makeLabel(ProgramSheet, "Label4");
  ProgNameEdit = new QLineEdit(ProgramSheet);
  ProgNameEdit->setObjectName("ProgNameEdit");
  ProgNameEdit->setMaxLength(kProgramNameBytes);
  ProgNameEdit->setValidator(new ProgramNameValidator(session_.language(), ProgNameEdit));
  TmpProgNameEdit = new QLineEdit(ProgramSheet);
  TmpProgNameEdit->setObjectName("TmpProgNameEdit");
  TmpProgNameEdit->setMaxLength(kProgramNameBytes);
  TmpProgNameEdit->hide();

  TypeSel = new TRadioGroup(QStringLiteral("QXR TYPE"), ProgramSheet);
  TypeSel->setObjectName("TypeSel");
  TypeSel->setItems({QStringLiteral("QXR X02"), QStringLiteral("QXR X00/X01")});
  TypeSel->setItemIndex(0);
  Label11 = makeLabel(ProgramSheet, "Label11");
  COM_Select = new QComboBox(ProgramSheet);
  COM_Select->setObjectName("COM_Select");
  COM_Select->setEditable(false);
  PortsBtn = new QToolButton(ProgramSheet);
  PortsBtn->setObjectName("PortsBtn");
  const bool portsEnglish = session_.language() == 1;
  PortsBtn->setText(portsEnglish ? QStringLiteral("Ports…") : QString::fromUtf8("通訊埠…"));
  PortsBtn->setToolTip(portsEnglish ? QStringLiteral("Serial devices and which COM entry opens which")
                               : QString::fromUtf8("序列埠裝置與各 COM 項目所開啟的裝置"));
  PortDeviceLabel = makeLabel(ProgramSheet, "PortDeviceLabel");
  PortDeviceLabel->setMaximumWidth(200);

  Label2 = makeLabel(ProgramSheet, "Label2");
  MsgMemo = makeMessageBox(ProgramSheet, "MsgMemo");

  ReadFileBtn = makeButton(ProgramSheet, "ReadFileBtn");
  WriteFileBtn = makeButton(ProgramSheet, "WriteFileBtn");
  TransBtn = makeButton(ProgramSheet, "TransBtn");
  RcvBtn = makeButton(ProgramSheet, "RcvBtn");
  DelProgBtn = makeButton(ProgramSheet, "DelProgBtn");
  SimulatorBtn = makeButton(ProgramSheet, "SimulatorBtn");
  PreviewBtn = makeButton(ProgramSheet, "PreviewBtn");
  PreviewBtn->setText(QString::fromStdString(previewText(session_.language(), PreviewText::kPreview)));
  MultipleBtn = makeButton(ProgramSheet, "MultipleBtn");
  AutoDetectBtn = makeButton(ProgramSheet, "AutoDetectBtn");
  ClrMsgBtn = makeButton(ProgramSheet, "ClrMsgBtn");
  CloseBtn = makeButton(ProgramSheet, "CloseBtn");
  MultipleBtn->hide();
  AutoDetectBtn->hide();

  const bool english = session_.language() == 1;
  SpeedButton1 = new QToolButton(ProgramSheet);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText(english ? QStringLiteral("Manual") : QString::fromUtf8("手冊"));
  SpeedButton1->setToolTip(english ? QStringLiteral("Open the user manual") : QString::fromUtf8("開啟使用手冊"));
  VersionBtn = new QToolButton(ProgramSheet);
  VersionBtn->setObjectName("VersionBtn");
  VersionBtn->setText(english ? QStringLiteral("About") : QString::fromUtf8("關於"));
  VersionBtn->setToolTip(english ? QStringLiteral("About this program") : QString::fromUtf8("關於本軟體"));

  // Test sequences: never shown.
  QPushButton** tests[] = {&Button1, &Button2, &Button3, &Button4, &Button5, &Button6};
  for (int i = 0; i < 6; ++i) {
    *tests[i] = new QPushButton(QStringLiteral("Button%1").arg(i + 1), ProgramSheet);
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
  portColumn->addWidget(buildShopControls(ProgramSheet));
  portColumn->addWidget(PortDeviceLabel);
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
  right->addLayout(buttons);

  auto* page = new QHBoxLayout(ProgramSheet);
  page->addLayout(left, 11);
  page->addLayout(right, 9);
}

void TMainForm::buildParameterSheet() {
  ParameterSheet = new QWidget;
  ParameterSheet->setObjectName("ParameterSheet");
  const QFont fixed = editorFont(session_.language());

  Label5 = makeLabel(ParameterSheet, "Label5");
  ParaCheckListBox = new QListWidget(ParameterSheet);
  ParaCheckListBox->setObjectName("ParaCheckListBox");
  SelAllBtn = makeButton(ParameterSheet, "SelAllBtn");
  CancelSelBtn = makeButton(ParameterSheet, "CancelSelBtn");

  Label7 = makeLabel(ParameterSheet, "Label7");
  ParameterMemo = makeEditor(ParameterSheet, "ParameterMemo", fixed);
  ParFileNameLabel = makeFileLabel(ParameterSheet, "ParFileNameLabel");

  auto* models = new QGroupBox(ParameterSheet);
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

  Panel1 = new QFrame(ParameterSheet);
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

  Label6 = makeLabel(ParameterSheet, "Label6");
  ParMsgMemo = makeMessageBox(ParameterSheet, "ParMsgMemo");
  ReadParBtn = makeButton(ParameterSheet, "ReadParBtn");
  WriteParBtn = makeButton(ParameterSheet, "WriteParBtn");
  ParTrnBtn = makeButton(ParameterSheet, "ParTrnBtn");
  ParRcvBtn = makeButton(ParameterSheet, "ParRcvBtn");
  ClrMsgBtn2 = makeButton(ParameterSheet, "ClrMsgBtn2");
  CloseBtn2 = makeButton(ParameterSheet, "CloseBtn2");

  auto* list = new QVBoxLayout;
  list->addWidget(Label5);
  list->addWidget(ParaCheckListBox, 1);
  auto* selectRow = new QHBoxLayout;
  selectRow->addWidget(SelAllBtn);
  selectRow->addWidget(CancelSelBtn);
  list->addLayout(selectRow);

  auto* editor = new QVBoxLayout;
  editor->addWidget(Label7);
  editor->addWidget(ParameterMemo, 1);
  editor->addWidget(ParFileNameLabel);

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

  auto* page = new QHBoxLayout(ParameterSheet);
  page->addLayout(list, 12);
  page->addLayout(editor, 10);
  page->addLayout(right, 13);
}

void TMainForm::buildPlcSheet() {
  PLMSheet = new QWidget;
  PLMSheet->setObjectName("PLMSheet");
  const QFont fixed = editorFont(session_.language());

  Label8 = makeLabel(PLMSheet, "Label8");
  PLMMemo = makeEditor(PLMSheet, "PLMMemo", fixed);
  Memo2 = makeLineColumn(PLMSheet, "Memo2", fixed);
  PLMFileNameLabel = makeFileLabel(PLMSheet, "PLMFileNameLabel");
  Label9 = makeLabel(PLMSheet, "Label9");
  PLMMsgMemo = makeMessageBox(PLMSheet, "PLMMsgMemo");
  Progress = makeLabel(PLMSheet, "Progress");
  Progress->setFrameShape(QFrame::Panel);
  Progress->setFrameShadow(QFrame::Sunken);
  Progress->setFont(fixed);
  Progress->hide();
  TmpMemo = new QPlainTextEdit(PLMSheet);
  TmpMemo->setObjectName("TmpMemo");
  TmpMemo->hide();
  TransDelayValue = new TFSpinEdit(PLMSheet);
  TransDelayValue->setObjectName("TransDelayValue");
  TransDelayValue->SetMinValue(0);
  TransDelayValue->SetMaxValue(kTransDelayMax);
  TransDelayValue->SetIncrement(1);
  TransDelayValue->SetMaxLength(kTransDelayChars);
  TransDelayValue->setFixedWidth(90);
  TransDelayValue->setToolTip(session_.language() == 1 ? QStringLiteral("PLC transfer delay (ms)")
                                                        : QString::fromUtf8("PLC傳送延遲(毫秒)"));
  TransDelayValue->hide();
  PLMTrnBtn = makeButton(PLMSheet, "PLMTrnBtn");
  PLMRcvBtn = makeButton(PLMSheet, "PLMRcvBtn");
  ReadPLMBtn = makeButton(PLMSheet, "ReadPLMBtn");
  WritePLMBtn = makeButton(PLMSheet, "WritePLMBtn");
  ClrMsgBtn3 = makeButton(PLMSheet, "ClrMsgBtn3");
  CloseBtn3 = makeButton(PLMSheet, "CloseBtn3");

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

  auto* page = new QHBoxLayout(PLMSheet);
  page->addLayout(left, 11);
  page->addLayout(right, 9);
}

void TMainForm::applyCaptions() {
  struct Caption {
    int message;
    QObject* control;
    const char* standIn;  // the layout's caption until the catalogue's replaces it
  };
  const Caption captions[] = {
      {11, ProgramSheet, "程式編輯"},       {12, Label1, "程式編輯區"},
      {13, Label2, "資料傳送/接收訊息區"},  {14, Label3, "程式編號"},
      {15, Label4, "程式名稱"},             {16, FileNameLabel, "檔案名稱:"},
      {17, Label11, "傳輸COM Port選擇"},    {18, TypeSel, "QXR TYPE"},
      {21, TransBtn, "傳送到控制器"},       {22, RcvBtn, "從控制器接收"},
      {23, DelProgBtn, "刪除QXR程式"},      {24, ClrMsgBtn, "清除訊息"},
      {25, ReadFileBtn, "讀取檔案"},        {26, WriteFileBtn, "儲存檔案"},
      {27, SimulatorBtn, "路徑模擬"},       {28, AutoDetectBtn, "自動尋找COM埠"},
      {29, MultipleBtn, "多組程式傳送接收"}, {30, CloseBtn, "程式結束"},
      {31, ParameterSheet, "參數設定"},     {32, Label7, "參數編輯區"},
      {33, Label6, "資料傳送/接收訊息區"},  {34, Label5, "讀取參數選項"},
      {35, ParFileNameLabel, "檔案名稱:"},  {36, Label10, "控制器版本"},
      {41, ParTrnBtn, "傳送參數到控制器"},  {42, ParRcvBtn, "從控制器接收參數"},
      {43, ClrMsgBtn2, "清除訊息"},         {44, ReadParBtn, "讀取檔案"},
      {45, WriteParBtn, "儲存檔案"},        {46, SelAllBtn, "全選"},
      {47, CancelSelBtn, "取消選擇"},       {50, CloseBtn2, "程式結束"},
      {51, PLMSheet, "PLC編輯"},            {52, Label8, "程式編輯區"},
      {53, PLMFileNameLabel, "檔案名稱:"},  {54, Label9, "資料傳送/接收訊息區"},
      {61, PLMTrnBtn, "傳送到控制器"},      {62, PLMRcvBtn, "從控制器接收"},
      {63, ClrMsgBtn3, "清除訊息"},         {64, ReadPLMBtn, "讀取檔案"},
      {65, WritePLMBtn, "儲存檔案"},        {70, CloseBtn3, "程式結束"},
  };
  // Without a catalogue every caption would be empty and the window
  // unusable; the layout's own captions then stay.
  const bool haveCatalogue = session_.catalogue.count() > 0;
  for (const Caption& c : captions) {
    const QString text = haveCatalogue ? QString::fromStdString(session_.msg(c.message)) : QString::fromUtf8(c.standIn);
    if (auto* page = qobject_cast<QWidget*>(c.control); page && PageControl->indexOf(page) >= 0) {
      PageControl->setTabText(PageControl->indexOf(page), text);
    } else if (auto* label = qobject_cast<QLabel*>(c.control)) {
      label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(c.control)) {
      button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(c.control)) {
      group->setTitle(text);
    }
  }
}

}  // namespace qxr
