#include "app/simulatorform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

#include "base/codec.h"
#include "base/host.h"
#include "sim/preview.h"
#include "sim/previewtexts.h"
#include "app/previewwidget.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr int kClientWidth = 630;
constexpr int kClientHeight = 484;
constexpr int kTimerMs = 10;
constexpr int kScrollBlock = 5;  // DisplayCommandLine scrolls in steps of five lines

const QStringList kLargeSteps{"100", "1000", "2000", "5000", "10000"};
const QStringList kSmallSteps{"0.5", "1", "2", "5", "10"};

// The plot: shows the core's pixel buffer as it is.
class PlotImageWidget final : public QWidget {
 public:
  PlotImageWidget(const PixelImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const QImage view(reinterpret_cast<const uchar*>(image_.data()), image_.width(), image_.height(),
                      image_.width() * static_cast<int>(sizeof(Rgb)), QImage::Format_RGB32);
    QPainter(this).drawImage(0, 0, view);
  }

 private:
  const PixelImage& image_;
};

QLabel* makePanel(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* panel = new QLabel(parent);
  panel->setObjectName(name);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setAlignment(Qt::AlignCenter);
  // Extents of large programs need two lines of the panel's height.
  panel->setWordWrap(true);
  QFont font = panel->font();
  font.setPixelSize(12);
  panel->setFont(font);
  panel->setGeometry(x, y, w, h);
  return panel;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setGeometry(x, y, w, h);
  return button;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
  auto* check = new QCheckBox(caption, parent);
  check->setObjectName(name);
  check->setGeometry(x, y, w, h);
  return check;
}

// Choices that begin alike ("Dwell in ms", "Dwell in s") show what they
// share once, as the group's title, and each button only what differs, so
// that every caption fits the narrow group whole. The split falls after a
// blank or a colon; choices with nothing in common stay as they are.
std::pair<QString, QStringList> splitSharedCaption(const QStringList& items) {
  if (items.size() < 2) return {QString(), items};
  qsizetype shared = items.front().size();
  for (const QString& item : items) {
    qsizetype n = 0;
    while (n < shared && n < item.size() && item[n] == items.front()[n]) ++n;
    shared = n;
  }
  while (shared > 0 && items.front()[shared - 1] != u' ' && items.front()[shared - 1] != u':' &&
         items.front()[shared - 1] != u'\uFF1A')
    --shared;
  if (shared == 0) return {QString(), items};
  QStringList rest;
  for (const QString& item : items) {
    if (item.size() == shared) return {QString(), items};
    rest << item.mid(shared);
  }
  QString title = items.front().left(shared).trimmed();
  while (title.endsWith(u':') || title.endsWith(u'\uFF1A')) title.chop(1);
  return {title, rest};
}

TRadioGroup* makeRadioGroup(QWidget* parent, const char* name, const QStringList& items, int x, int y, int w,
                            int h) {
  auto* group = new TRadioGroup(QString(), parent);
  group->setObjectName(name);
  group->setItems(items);
  group->layout()->setContentsMargins(4, 2, 4, 2);
  group->layout()->setSpacing(2);
  group->setGeometry(x, y, w, h);
  return group;
}

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, const QFont& font, int x, int y, int w, int h) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setFont(font);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setWordWrapMode(QTextOption::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setGeometry(x, y, w, h);
  return memo;
}

}  // namespace

TSimulatorForm::TSimulatorForm(const Session& session, CommandTable table,
                               const std::vector<std::string>& programLines, Clock& clock, QWidget* parent)
    : QDialog(parent),
      session_(session),
      table_(std::move(table)),
      plot_(kPlotWidth, kPlotHeight),
      interpreter_(table_, *this, clock, kPlotWidth, kPlotHeight) {
  setObjectName("SimulatorForm");
  setWindowTitle(message(msg::kSimulationButton));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  Panel1->setGeometry(0, 0, kPlotWidth + 4, kPlotHeight + 4);
  PathImage = new PlotImageWidget(plot_.image(), Panel1);
  PathImage->setObjectName("PathImage");
  PathImage->setGeometry(2, 2, kPlotWidth, kPlotHeight);
  // The whole path at once, true to scale, in the plot's place when chosen.
  Preview = new TPreviewWidget(session_.language(), Panel1);
  Preview->setGeometry(2, 2, kPlotWidth, kPlotHeight);
  Preview->hide();

  Panel2 = makePanel(this, "Panel2", 0, 360, 209, 33);
  Panel3 = makePanel(this, "Panel3", 208, 360, 209, 33);

  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(14);
  Memo1 = makeMemo(this, "Memo1", fixed, 0, 392, 52, 89);
  Memo1->setEnabled(false);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setFocusPolicy(Qt::NoFocus);
  QPalette green = Memo1->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    green.setColor(group, QPalette::Text, QColor(0, 128, 0));
  Memo1->setPalette(green);
  ProgramMemo = makeMemo(this, "ProgramMemo", fixed, 53, 392, 364, 89);
  ProgramMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  OutPanel = new QFrame(this);
  OutPanel->setObjectName("OutPanel");
  OutPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  OutPanel->setGeometry(424, 0, 201, 105);
  OutPanel->hide();
  for (int k = 0; k < SimInterpreter::kLampCount; ++k) {
    auto* lamp = new QLabel(QString::asprintf("%02d", k + 1), OutPanel);
    lamp->setObjectName(QString::asprintf("O%02d", k + 1));
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lamp->setAutoFillBackground(true);
    lamp->setGeometry((k % 8) * 24 + 8, (k / 8) * 24 + 8, 17, 17);
    QFont small = lamp->font();
    small.setPixelSize(9);
    lamp->setFont(small);
    OutputLamps[static_cast<std::size_t>(k)] = lamp;
    setLamp(k + 1, false);
  }

  S_InBtn = makeButton(this, "S_InBtn", message(msg::kInputs), 424, 112, 89, 33);
  S_InBtn->hide();
  OutCheck = makeCheck(this, "OutCheck", message(msg::kOutputs), 520, 108, 105, 17);
  InCheck = makeCheck(this, "InCheck", message(msg::kInputs), 520, 136, 97, 13);
  // The two choices share their row so that every caption ("Continuous"
  // too) is shown whole.
  StepSel = makeRadioGroup(this, "StepSel", {message(msg::kSingleStep), message(msg::kContinuous)}, 424, 155, 98, 73);
  StepSel->setItemIndex(1);
  const QStringList unitCaptions{message(msg::kMilliseconds), message(msg::kSeconds)};
  const auto [unitTitle, unitChoices] = splitSharedCaption(unitCaptions);
  SetUnit = makeRadioGroup(this, "SetUnit", unitChoices, 526, 155, 99, 73);
  SetUnit->setTitle(unitTitle);
  for (TRadioGroup* group : {StepSel, SetUnit}) {
    QFont small = group->font();
    small.setPixelSize(11);
    group->setFont(small);
    group->layout()->setContentsMargins(2, 2, 2, 2);
    for (int i = 0; i < group->count(); ++i) group->button(i)->setToolTip(group->button(i)->text());
  }
  // A short caption ("s") leaves most of the row empty, and a click there
  // would miss the button: each button is only as wide as its caption.
  for (int i = 0; i < SetUnit->count(); ++i) {
    SetUnit->button(i)->setToolTip(unitCaptions[i]);
    SetUnit->button(i)->setSizePolicy(QSizePolicy::Maximum, SetUnit->button(i)->sizePolicy().verticalPolicy());
  }
  SetUnit->setItemIndex(0);
  XDIRCheck = makeCheck(this, "XDIRCheck", message(msg::kMirrorX), 424, 232, 97, 17);
  YDIRCheck = makeCheck(this, "YDIRCheck", message(msg::kMirrorY), 528, 232, 97, 17);

  Panel4 = new QFrame(this);
  Panel4->setObjectName("Panel4");
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel4->setGeometry(424, 256, 201, 33);
  auto* resolutionCaption = new QLabel(message(msg::kResolution), Panel4);
  resolutionCaption->setObjectName("Panel4Caption");
  resolutionCaption->setGeometry(4, 5, 82, 24);
  ResolutionSel = new QComboBox(Panel4);
  ResolutionSel->setObjectName("ResolutionSel");
  ResolutionSel->setGeometry(88, 5, 105, 24);
  fillResolutionSel();

  ClsBtn = makeButton(this, "ClsBtn", message(msg::kClearPlot), 424, 296, 97, 33);
  PreviewBtn = makeButton(this, "PreviewBtn",
                          QString::fromStdString(previewText(session_.language(), PreviewText::kPreview)), 528,
                          296, 97, 33);
  PreviewBtn->setCheckable(true);
  StartBtn = makeButton(this, "StartBtn", message(msg::kStart), 424, 360, 57, 33);
  StopBtn = makeButton(this, "StopBtn", message(msg::kStop), 496, 360, 57, 33);
  StopBtn->setEnabled(false);
  PauseBtn = makeButton(this, "PauseBtn", message(msg::kPause), 568, 360, 57, 33);
  PauseBtn->setEnabled(false);

  Label1 = new QLabel(message(msg::kDisplayZ), this);
  Label1->setObjectName("Label1");
  Label1->setStyleSheet("color: rgb(0, 0, 255); font-weight: bold;");
  Label1->setGeometry(424, 406, 79, 16);
  FSpinEdit1 = new TFSpinEdit(this);
  FSpinEdit1->setObjectName("FSpinEdit1");
  // Z levels below the work surface are as common as those above it.
  FSpinEdit1->SetMinValue(-99999.0);
  FSpinEdit1->SetMaxValue(99999.0);
  FSpinEdit1->SetIncrement(1.0);
  FSpinEdit1->SetValue(0.0);
  FSpinEdit1->setFixedHeight(30);
  FSpinEdit1->setGeometry(528, 400, 57, 30);
  FSpinEdit1->editor()->installEventFilter(this);

  CloseBtn = makeButton(this, "CloseBtn", message(msg::kCancel), 544, 448, 80, 30);
  Button2 = makeButton(this, "Button2", QString(), 424, 456, 75, 25);
  Button2->hide();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kTimerMs);
  RunTimer = new QTimer(this);
  RunTimer->setObjectName("RunTimer");
  RunTimer->setInterval(kTimerMs);

  // The program and its line labels.
  QString labels;
  QString text;
  const int language = session_.language();
  for (std::size_t i = 0; i < programLines.size(); ++i) {
    if (i > 0) {
      labels += QLatin1Char('\n');
      text += QLatin1Char('\n');
    }
    labels += QString::asprintf("N%04d", static_cast<int>(i + 1));
    text += QString::fromStdString(bytesToUtf8(programLines[i], language));
  }
  Memo1->setPlainText(labels);
  QTextOption rightAligned = Memo1->document()->defaultTextOption();
  rightAligned.setAlignment(Qt::AlignRight);
  Memo1->document()->setDefaultTextOption(rightAligned);
  ProgramMemo->setPlainText(text);
  // Room below the last line, so that the running line can always be
  // scrolled to where it is shown, the last one included.
  ProgramMemo->setCenterOnScroll(true);
  Memo1->setCenterOnScroll(true);
  Preview->setPath(std::make_shared<PreviewPath>(buildPreviewPath(table_)));

  connect(StartBtn, &QPushButton::clicked, this, &TSimulatorForm::StartBtnClick);
  connect(StopBtn, &QPushButton::clicked, this, &TSimulatorForm::StopBtnClick);
  connect(PauseBtn, &QPushButton::clicked, this, &TSimulatorForm::PauseBtnClick);
  connect(S_InBtn, &QPushButton::clicked, this, &TSimulatorForm::S_InBtnClick);
  connect(CloseBtn, &QPushButton::clicked, this, &TSimulatorForm::CloseBtnClick);
  connect(ClsBtn, &QPushButton::clicked, this, &TSimulatorForm::ClsBtnClick);
  connect(Button2, &QPushButton::clicked, this, &TSimulatorForm::Button2Click);
  connect(SetUnit, &TRadioGroup::clicked, this, [this](int) { SetUnitClick(); });
  connect(XDIRCheck, &QCheckBox::clicked, this, &TSimulatorForm::XDIRCheckClick);
  connect(YDIRCheck, &QCheckBox::clicked, this, &TSimulatorForm::YDIRCheckClick);
  connect(OutCheck, &QCheckBox::clicked, this, &TSimulatorForm::OutCheckClick);
  connect(InCheck, &QCheckBox::clicked, this, &TSimulatorForm::InCheckClick);
  connect(Timer1, &QTimer::timeout, this, &TSimulatorForm::Timer1Timer);
  connect(PreviewBtn, &QPushButton::clicked, this, &TSimulatorForm::PreviewBtnClick);
  connect(ProgramMemo, &QPlainTextEdit::cursorPositionChanged, this,
          [this] { Preview->setSelectedLine(ProgramMemo->textCursor().blockNumber()); });
  connect(Preview, &TPreviewWidget::lineClicked, this, [this](int line) { selectProgramLine(ProgramMemo, line); });
  connect(RunTimer, &QTimer::timeout, this, &TSimulatorForm::RunTimerTimer);

  interpreter_.DisplayZ = FSpinEdit1->Value();
  ShowXYCoord();
  Timer1->start();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

TSimulatorForm::~TSimulatorForm() = default;

QString TSimulatorForm::message(int n) const { return QString::fromStdString(session_.msg(n)); }

void TSimulatorForm::fillResolutionSel() {
  ResolutionSel->clear();
  ResolutionSel->addItems(SetUnit->itemIndex() == 1 ? kSmallSteps : kLargeSteps);
  ResolutionSel->setPlaceholderText(message(msg::kResolution));
  ResolutionSel->setCurrentIndex(-1);
}

// --- SimulatorView ---

void TSimulatorForm::PutPixel(double y, double x) {
  if (plot_.PutPixel(y, x, interpreter_.plotContext()))
    Panel2->setText(QString::fromStdString(positionText(interpreter_.Pos.X, interpreter_.Pos.Y, interpreter_.Pos.Z)));
  PathImage->update();
}

void TSimulatorForm::DisplayCommandLine(int line) {
  const QTextBlock block = ProgramMemo->document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  // The selection covers the line's text; on the last line it runs to the end.
  QTextCursor cursor(ProgramMemo->document());
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  ProgramMemo->setTextCursor(cursor);
  ProgramMemo->verticalScrollBar()->setValue((line / kScrollBlock) * kScrollBlock);
  ProgramMemo->setFocus();
}

void TSimulatorForm::setLamp(int lamp, bool on) {
  if (lamp < 1 || lamp > SimInterpreter::kLampCount) return;
  QLabel* label = OutputLamps[static_cast<std::size_t>(lamp - 1)];
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, on ? QColor(255, 0, 0) : QColor(0, 255, 0));
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
}

void TSimulatorForm::setStartEnabled(bool enabled) { StartBtn->setEnabled(enabled); }
void TSimulatorForm::setStopEnabled(bool enabled) { StopBtn->setEnabled(enabled); }
void TSimulatorForm::setPauseEnabled(bool enabled) { PauseBtn->setEnabled(enabled); }
void TSimulatorForm::setInputButtonVisible(bool visible) { S_InBtn->setVisible(visible); }
void TSimulatorForm::startRunTimer() { RunTimer->start(); }
void TSimulatorForm::stopRunTimer() { RunTimer->stop(); }
int TSimulatorForm::stepSelection() const { return StepSel->itemIndex(); }
int TSimulatorForm::unitSelection() const { return SetUnit->itemIndex(); }
int TSimulatorForm::resolutionSelection() const { return ResolutionSel->currentIndex(); }
bool TSimulatorForm::inputWaitsHonoured() const { return InCheck->isChecked(); }
bool TSimulatorForm::outputsDriven() const { return OutCheck->isChecked(); }
double TSimulatorForm::displayZValue() const { return FSpinEdit1->Value(); }
void TSimulatorForm::showExtents(const std::string& text) { Panel3->setText(QString::fromStdString(text)); }

// --- operations and handlers ---

void TSimulatorForm::ShowXYCoord() {
  plot_.ShowXYCoord();
  PathImage->update();
}

void TSimulatorForm::StartBtnClick() { interpreter_.StartBtnClick(); }
void TSimulatorForm::StopBtnClick() { interpreter_.StopBtnClick(); }
void TSimulatorForm::PauseBtnClick() { interpreter_.PauseBtnClick(); }
void TSimulatorForm::S_InBtnClick() { interpreter_.S_InBtnClick(); }
void TSimulatorForm::RunTimerTimer() { interpreter_.RunTimerTimer(); }
void TSimulatorForm::CloseBtnClick() { close(); }
void TSimulatorForm::ClsBtnClick() { ShowXYCoord(); }
void TSimulatorForm::SetUnitClick() { fillResolutionSel(); }

void TSimulatorForm::XDIRCheckClick() {
  plot_.DirX = XDIRCheck->isChecked() ? -1 : 1;
  ShowXYCoord();
}

void TSimulatorForm::YDIRCheckClick() {
  plot_.DirY = YDIRCheck->isChecked() ? 1 : -1;
  ShowXYCoord();
}

void TSimulatorForm::PreviewBtnClick() {
  const bool preview = PreviewBtn->isChecked();
  Preview->setVisible(preview);
  PathImage->setVisible(!preview);
}

void TSimulatorForm::OutCheckClick() { OutPanel->setVisible(OutCheck->isChecked()); }

bool TSimulatorForm::FSpinEdit1KeyPress(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

void TSimulatorForm::Timer1Timer() {
  Memo1->verticalScrollBar()->setValue(ProgramMemo->verticalScrollBar()->value());
}

void TSimulatorForm::FormClose() { interpreter_.FormClose(); }

void TSimulatorForm::closeEvent(QCloseEvent* event) {
  FormClose();
  QDialog::closeEvent(event);
}

void TSimulatorForm::done(int result) {
  FormClose();
  QDialog::done(result);
}

bool TSimulatorForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FSpinEdit1->editor() && event->type() == QEvent::KeyPress &&
      FSpinEdit1KeyPress(static_cast<QKeyEvent*>(event)->key()))
    return true;
  return QDialog::eventFilter(watched, event);
}

}  // namespace qxr
