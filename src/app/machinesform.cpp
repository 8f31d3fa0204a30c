#include "app/machinesform.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/codec.h"

namespace qxr {

namespace {
constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200};
}  // namespace

QString TMachinesForm::text(const char* english, const char* chinese) const {
  return QString::fromUtf8(language_ == 1 ? english : chinese);
}

TMachinesForm::TMachinesForm(const std::string& startDir, int language, QWidget* parent)
    : QDialog(parent), startDir_(startDir), language_(language) {
  setObjectName("MachinesForm");
  setWindowTitle(text("Machines", "機台"));
  MachineList = new QListWidget(this);
  MachineList->setObjectName("MachineList");
  NameEdit = new QLineEdit(this);
  NameEdit->setMaxLength(static_cast<int>(kMachineNameLimit));
  ModelSelect = new QComboBox(this);
  for (const char* model : kModelNames) ModelSelect->addItem(model);
  VersionSelect = new QComboBox(this);
  for (const char* version : kVersionNames) VersionSelect->addItem(version);
  PortEdit = new QLineEdit(this);
  PortEdit->setPlaceholderText("COM2, /dev/ttyUSB0, rfc2217://box:2003");
  BaudSelect = new QComboBox(this);
  for (const int rate : kRates) BaudSelect->addItem(QString::number(rate), rate);
  TimeoutEdit = new QSpinBox(this);
  TimeoutEdit->setRange(1, 600000);
  TimeoutEdit->setSuffix(" ms");
  ModeSelect = new QComboBox(this);
  ModeSelect->addItem(text("Byte mode", "位元組模式"));
  ModeSelect->addItem(text("Block mode", "區塊模式"));
  PacingEdit = new QSpinBox(this);
  PacingEdit->setRange(0, 1000);
  PacingEdit->setSuffix(" ms");
  FolderEdit = new QLineEdit(this);
  auto* browse = new QToolButton(this);
  browse->setText("…");
  SaveBtn = new QPushButton(text("Save", "儲存"), this);
  SaveBtn->setObjectName("SaveBtn");
  RemoveBtn = new QPushButton(text("Remove", "移除"), this);
  RemoveBtn->setObjectName("RemoveBtn");
  NewBtn = new QPushButton(text("New", "新增"), this);
  CloseBtn = new QPushButton(text("Close", "關閉"), this);
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName("StatusLabel");
  StatusLabel->setWordWrap(true);
  StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* form = new QFormLayout;
  form->addRow(text("Name", "名稱"), NameEdit);
  form->addRow(text("Model", "機型"), ModelSelect);
  form->addRow(text("Version", "版本"), VersionSelect);
  form->addRow(text("Port", "通訊埠"), PortEdit);
  form->addRow(text("Line speed", "傳輸速率"), BaudSelect);
  form->addRow(text("Time-out", "逾時"), TimeoutEdit);
  form->addRow(text("Mode", "模式"), ModeSelect);
  form->addRow(text("Pause after each byte", "每位元組間隔"), PacingEdit);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(FolderEdit, 1);
  folderRow->addWidget(browse);
  form->addRow(text("Program folder", "程式資料夾"), folderRow);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(NewBtn);
  buttons->addWidget(SaveBtn);
  buttons->addWidget(RemoveBtn);
  buttons->addStretch();
  buttons->addWidget(CloseBtn);
  auto* top = new QHBoxLayout;
  top->addWidget(MachineList, 1);
  top->addLayout(form, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(StatusLabel);
  layout->addLayout(buttons);

  connect(MachineList, &QListWidget::currentTextChanged, this, [this](const QString& name) {
    if (const Machine* machine = file_.find(name.toStdString())) showMachine(*machine);
  });
  connect(ModeSelect, &QComboBox::currentIndexChanged, this, [this](int mode) { PacingEdit->setEnabled(mode == 0); });
  connect(browse, &QToolButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, text("Program folder", "程式資料夾"), FolderEdit->text());
    if (!dir.isEmpty()) FolderEdit->setText(dir);
  });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(); });
  connect(RemoveBtn, &QPushButton::clicked, this, [this] { RemoveBtnClick(); });
  connect(NewBtn, &QPushButton::clicked, this, [this] { NewBtnClick(); });
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  resize(720, 420);
  reload();
  if (MachineList->count() == 0) NewBtnClick();
}

void TMachinesForm::reload(const QString& select) {
  FileError error = FileError::kNone;
  file_ = MachineFile::load(startDir_, &error);
  MachineList->clear();
  for (const Machine& machine : file_.machines()) MachineList->addItem(QString::fromStdString(machine.name));
  QStringList lines;
  if (error != FileError::kNone)
    lines << QString::fromStdString(fileErrorText(language_, error, MachineFile::pathIn(startDir_)));
  for (const MachineProblem& problem : file_.problems())
    lines << QString::fromStdString(std::string(kMachineFileName) + ": " + machineProblemText(language_, problem));
  StatusLabel->setText(lines.join('\n'));
  const auto found = MachineList->findItems(select, Qt::MatchFixedString);
  if (!found.isEmpty()) MachineList->setCurrentItem(found.front());
  else if (MachineList->count() > 0) MachineList->setCurrentRow(0);
}

void TMachinesForm::showMachine(const Machine& m) {
  NameEdit->setText(QString::fromStdString(m.name));
  ModelSelect->setCurrentIndex(m.modelIndex);
  VersionSelect->setCurrentIndex(m.versionIndex);
  PortEdit->setText(QString::fromStdString(m.port));
  BaudSelect->setCurrentIndex(BaudSelect->findData(m.baud));
  TimeoutEdit->setValue(m.timeoutMs);
  ModeSelect->setCurrentIndex(m.blockMode ? 1 : 0);
  PacingEdit->setValue(m.pacingMs);
  FolderEdit->setText(QString::fromStdString(m.folder));
}

void TMachinesForm::NewBtnClick() {
  MachineList->clearSelection();
  Machine fresh;
  fresh.port = "COM2";
  showMachine(fresh);
  NameEdit->setFocus();
}

bool TMachinesForm::write(const MachineFile& file) {
  const std::string path = MachineFile::pathIn(startDir_);
  const FileError error = saveFile(path, file.text());
  if (error == FileError::kNone) return true;
  StatusLabel->setText(QString::fromStdString(fileErrorText(language_, error, path)));
  return false;
}

bool TMachinesForm::SaveBtnClick() {
  Machine m;
  m.name = NameEdit->text().trimmed().toStdString();
  m.modelIndex = ModelSelect->currentIndex();
  m.versionIndex = VersionSelect->currentIndex();
  m.port = PortEdit->text().trimmed().toStdString();
  m.baud = BaudSelect->currentData().toInt();
  m.timeoutMs = TimeoutEdit->value();
  m.blockMode = ModeSelect->currentIndex() == 1;
  m.pacingMs = PacingEdit->value();
  m.folder = FolderEdit->text().trimmed().toStdString();
  if (!isValidMachineName(m.name)) {
    StatusLabel->setText(text("Not a machine name: 1 to 40 characters, no brackets, not \"shop\".",
                              "機台名稱不正確：1 至 40 個字元，不可有方括號，不可為 \"shop\"。"));
    return false;
  }
  if (!isValidMachinePort(m.port)) {
    StatusLabel->setText(text("Not a port: COMn (1-99), a device path such as /dev/ttyUSB0, or tcp:// or rfc2217://HOST:PORT.",
                              "通訊埠不正確：COMn（1-99）、裝置路徑如 /dev/ttyUSB0，或 tcp:// 或 rfc2217://主機:埠。"));
    return false;
  }
  MachineFile edited = MachineFile::load(startDir_);  // as it is now on disk
  edited.put(m);
  if (!write(edited)) return false;
  reload(QString::fromStdString(m.name));
  return true;
}

bool TMachinesForm::RemoveBtnClick() {
  const QString name = NameEdit->text().trimmed();
  MachineFile edited = MachineFile::load(startDir_);
  if (!edited.remove(name.toStdString()) || !write(edited)) return false;
  reload();
  return true;
}

}  // namespace qxr
