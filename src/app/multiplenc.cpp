#include "app/multiplenc.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/dirbrowser.h"
#include "base/bilingual.h"
#include "base/filepaths.h"
#include "app/filewindows.h"
#include "base/session.h"
#include "base/textio.h"
#include "nc/ncfile.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr const char* kFilter = "NC files|*.nc|NCD files|*.ncd|All files|*.*";

QString catalogueText(const Session& session, int n) { return QString::fromStdString(session.msg(n)); }

QString fromPath(const std::string& path) { return pathText(path); }
std::string toPath(const QString& path) { return pathBytes(path); }

MultipleFormHook& formHook() {
  static MultipleFormHook hook;
  return hook;
}

}  // namespace

MultipleFormHook setMultipleFormHook(MultipleFormHook hook) {
  MultipleFormHook previous = std::move(formHook());
  formHook() = std::move(hook);
  return previous;
}

void runMultipleForm(TMultipleNCForm& window) {
  if (formHook()) formHook()(window);
  else window.exec();
}

TMultipleNCForm::TMultipleNCForm(Session& session, FileChoice& fileChoice, const std::string& startDir,
                                 QWidget* parent)
    : QDialog(parent), session_(session), fileChoice_(fileChoice) {
  setObjectName("MultipleNCForm");
  setWindowTitle(QString::fromUtf8(TextPair{"Read or write multiple programs", "同時寫入或讀出多組QXR程式"}.in(session.lang())));
  setFixedSize(730, 510);

  ModeSelect = new TRadioGroup(QString(), this);
  ModeSelect->setObjectName("ModeSelect");
  ModeSelect->setItems({catalogueText(session, msg::kReadMany), catalogueText(session, msg::kWriteMany)});
  ModeSelect->setGeometry(10, 6, 330, 76);
  connect(ModeSelect, &TRadioGroup::clicked, this, [this] { ModeSelectClick(); });

  Label1 = new QLabel(catalogueText(session, msg::kFileLabel), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(352, 10, 368, 22);
  DirLabel = new QLabel(this);
  DirLabel->setObjectName("DirLabel");
  DirLabel->setGeometry(352, 32, 368, 48);
  DirLabel->setWordWrap(true);
  DirLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->setGeometry(10, 92, 220, 28);
  DirectoryListBox1 = new QListWidget(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setGeometry(10, 124, 220, 266);
  FilterComboBox1 = new QComboBox(this);
  FilterComboBox1->setObjectName("FilterComboBox1");
  FilterComboBox1->setGeometry(10, 396, 220, 28);
  for (const FileFilterEntry& entry : parseFileFilter(kFilter)) {
    FilterComboBox1->addItem(QString::fromStdString(entry.description + " (" + entry.pattern + ")"),
                             QString::fromStdString(entry.pattern));
  }
  NewDir = new QPushButton(catalogueText(session, msg::kNewDirectory), this);
  NewDir->setObjectName("NewDir");
  NewDir->setGeometry(10, 430, 220, 30);

  buildProgramPanel();

  FileCheckListBox = new QListWidget(this);
  FileCheckListBox->setObjectName("FileCheckListBox");
  FileCheckListBox->setGeometry(240, 92, 480, 296);
  SelAllBtn2 = new QPushButton(catalogueText(session, msg::kSelectAll), this);
  SelAllBtn2->setObjectName("SelAllBtn2");
  SelAllBtn2->setGeometry(240, 396, 130, 30);
  CancelSelBtn2 = new QPushButton(catalogueText(session, msg::kClearSelection), this);
  CancelSelBtn2->setObjectName("CancelSelBtn2");
  CancelSelBtn2->setGeometry(376, 396, 130, 30);
  InquireChk = new QCheckBox(catalogueText(session, msg::kAskBeforeDeleting), this);
  InquireChk->setObjectName("InquireChk");
  InquireChk->setGeometry(516, 396, 204, 30);
  InquireChk->setChecked(session.settings.multipleInquire);

  OKBtn = new QPushButton(catalogueText(session, msg::kOk), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(500, 470, 106, 32);
  CancelBtn = new QPushButton(catalogueText(session, msg::kAbort), this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(614, 470, 106, 32);

  // Nothing but the mode choice and Cancel until a mode is chosen.
  for (QWidget* w : std::initializer_list<QWidget*>{DriveComboBox1, DirectoryListBox1, FilterComboBox1, NewDir, Panel1,
                                                    SelAllBtn, CancelSelBtn, MoreChkBox0, MoreChkBox1, MoreChkBox2,
                                                    PrefixLabel, FirstFilenameEdit, FileCheckListBox, SelAllBtn2,
                                                    CancelSelBtn2, InquireChk, OKBtn}) {
    w->hide();
  }
  OKBtn->setEnabled(false);

  browser_ = new DirectoryBrowser(DriveComboBox1, DirectoryListBox1, DirLabel, session.startDir, this);
  connect(browser_, &DirectoryBrowser::directoryChosen, this, [this] { FileListOnChange(); });
  connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, [this] { FileListOnChange(); });
  connect(NewDir, &QPushButton::clicked, this, [this] { NewDirClick(); });
  connect(SelAllBtn, &QPushButton::clicked, this, [this] { SelAllBtnClick(); });
  connect(CancelSelBtn, &QPushButton::clicked, this, [this] { CancelSelBtnClick(); });
  connect(SelAllBtn2, &QPushButton::clicked, this, [this] { SelAllBtn2Click(); });
  connect(CancelSelBtn2, &QPushButton::clicked, this, [this] { CancelSelBtn2Click(); });
  connect(InquireChk, &QCheckBox::clicked, this, [this] { InquireChkClick(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });

  setDirectory(startDir.empty() ? session.startDir : startDir);
  if (directory().empty()) setDirectory(QDir::homePath().toStdString());
}

void TMultipleNCForm::buildProgramPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::StyledPanel);
  Panel1->setGeometry(240, 92, 480, 296);
  // Seven columns of ten: L01-L10 ... L51-L59, then G60-G68.
  constexpr int kColumnWidth = 67, kRowHeight = 28;
  for (int i = 0; i < kBatchProgramCount; ++i) {
    const int number = i + 1;
    const int column = number >= kFirstGProgram ? 6 : (number - 1) / 10;
    const int row = number >= kFirstGProgram ? number - kFirstGProgram : (number - 1) % 10;
    auto* box = new QCheckBox(QString::fromStdString(batchProgramCaption(number)), Panel1);
    box->setObjectName(QStringLiteral("CheckBox%1").arg(number));
    box->setGeometry(6 + column * kColumnWidth, 6 + row * kRowHeight, kColumnWidth - 2, kRowHeight);
    connect(box, &QCheckBox::clicked, this, [this, i](bool on) {
      selection_.setChecked(i, on);
      syncCheckBoxes();
    });
    CheckBoxes[static_cast<std::size_t>(i)] = box;
  }

  SelAllBtn = new QPushButton(catalogueText(session_, msg::kSelectAll), this);
  SelAllBtn->setObjectName("SelAllBtn");
  SelAllBtn->setGeometry(240, 396, 130, 30);
  CancelSelBtn = new QPushButton(catalogueText(session_, msg::kClearSelection), this);
  CancelSelBtn->setObjectName("CancelSelBtn");
  CancelSelBtn->setGeometry(376, 396, 130, 30);
  const char* captions[ProgramSelection::kRangeCount] = {"L17-L32", "L17-L59", "G63-G68"};
  for (int range = 0; range < ProgramSelection::kRangeCount; ++range) {
    auto* box = new QCheckBox(QString::fromLatin1(captions[range]), this);
    box->setObjectName(QStringLiteral("MoreChkBox%1").arg(range));
    box->setGeometry(520, 396 + range * 24, 110, 24);
    connect(box, &QCheckBox::clicked, this, [this, range] { MoreChkBoxClick(range); });
    (range == 0 ? MoreChkBox0 : range == 1 ? MoreChkBox1 : MoreChkBox2) = box;
  }
  PrefixLabel = new QLabel(QString::fromUtf8(TextPair{"File name prefix", "檔名前置字元"}.in(session_.lang())), this);
  PrefixLabel->setObjectName("PrefixLabel");
  PrefixLabel->setGeometry(240, 434, 130, 28);
  FirstFilenameEdit = new QLineEdit(this);
  FirstFilenameEdit->setObjectName("FirstFilenameEdit");
  FirstFilenameEdit->setMaxLength(static_cast<int>(kBatchPrefixLength));
  FirstFilenameEdit->setGeometry(376, 434, 130, 28);
  syncCheckBoxes();
}

QCheckBox* TMultipleNCForm::rangeSwitch(int range) const {
  return range == 0 ? MoreChkBox0 : range == 1 ? MoreChkBox1 : MoreChkBox2;
}

void TMultipleNCForm::syncCheckBoxes() {
  for (int i = 0; i < kBatchProgramCount; ++i) {
    QCheckBox* box = CheckBoxes[static_cast<std::size_t>(i)];
    box->setEnabled(selection_.enabled(i));
    box->setChecked(selection_.checked(i));
  }
}

const std::string& TMultipleNCForm::directory() const { return browser_->directory(); }

void TMultipleNCForm::setDirectory(const std::string& dir) {
  if (browser_->setDirectory(dir)) FileListOnChange();
}

void TMultipleNCForm::ModeSelectClick() {
  const bool read = ModeSelect->itemIndex() == kBatchReadMany;
  OKBtn->show();
  OKBtn->setEnabled(true);
  for (QWidget* w : {static_cast<QWidget*>(DriveComboBox1), static_cast<QWidget*>(DirectoryListBox1),
                     static_cast<QWidget*>(FilterComboBox1)}) {
    w->show();
  }
  for (QWidget* w : std::initializer_list<QWidget*>{Panel1, SelAllBtn, CancelSelBtn, PrefixLabel, FirstFilenameEdit,
                                                    MoreChkBox0, MoreChkBox1, MoreChkBox2, NewDir}) {
    w->setVisible(read);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{FileCheckListBox, SelAllBtn2, CancelSelBtn2, InquireChk}) {
    w->setVisible(!read);
  }
}

// A directory without a matching file leaves the list as it was.
void TMultipleNCForm::FileListOnChange() {
  QString pattern = FilterComboBox1->currentData().toString();
  if (pattern == QLatin1String("*.*") || pattern.isEmpty()) pattern = QStringLiteral("*");
  const QDir qdir(fromPath(directory()));
  const QStringList names =
      qdir.entryList({pattern}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
  if (names.isEmpty()) return;
  FileCheckListBox->clear();
  for (const QString& name : names) {
    auto* item = new QListWidgetItem(name, FileCheckListBox);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

void TMultipleNCForm::SelAllBtnClick() {
  selection_.selectAll();
  syncCheckBoxes();
}

void TMultipleNCForm::CancelSelBtnClick() {
  selection_.clearAll();
  syncCheckBoxes();
}

void TMultipleNCForm::SelAllBtn2Click() {
  for (int i = 0; i < FileCheckListBox->count(); ++i) FileCheckListBox->item(i)->setCheckState(Qt::Checked);
}

void TMultipleNCForm::CancelSelBtn2Click() {
  for (int i = 0; i < FileCheckListBox->count(); ++i) FileCheckListBox->item(i)->setCheckState(Qt::Unchecked);
}

void TMultipleNCForm::MoreChkBoxClick(int range) {
  QCheckBox* box = rangeSwitch(range);
  const bool state = selection_.clickRange(range, box->isChecked());
  box->setChecked(state);
  syncCheckBoxes();
}

void TMultipleNCForm::NewDirClick() { setDirectory(runNewDirWindow(session_, fileChoice_, directory(), this)); }

void TMultipleNCForm::InquireChkClick() { session_.settings.multipleInquire = InquireChk->isChecked(); }

void TMultipleNCForm::OKBtnClick() {
  int count = 0;
  if (ModeSelect->itemIndex() == kBatchReadMany) {
    choice_.programs = selection_.checkedBoxes();
    count = selection_.checkedCount();
    choice_.prefix = toPath(FirstFilenameEdit->text());
  } else if (ModeSelect->itemIndex() == kBatchWriteMany) {
    std::vector<std::pair<std::string, bool>> entries;
    for (int i = 0; i < FileCheckListBox->count(); ++i) {
      const QListWidgetItem* item = FileCheckListBox->item(i);
      entries.emplace_back(toPath(item->text()), item->checkState() == Qt::Checked);
    }
    choice_.files = batchFiles(entries, &choice_.tooManyFiles);
    count = static_cast<int>(choice_.files.size());
  }
  if (count > 0) {
    choice_.chosen = true;
    choice_.mode = ModeSelect->itemIndex();
    choice_.directory = directory();
  }
  accept();
}

void TMultipleNCForm::CancelBtnClick() {
  choice_.chosen = false;
  reject();
}

bool editorHoldsBatchFile(const MultipleChoice& choice, bool withName, const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  if (choice.mode == kBatchReadMany) {
    for (int i = 0; i < kBatchProgramCount; ++i)
      if (choice.programs[static_cast<std::size_t>(i)]) names.push_back(batchFileName(choice.prefix, i + 1));
  } else if (choice.mode == kBatchWriteMany) {
    names = choice.files;
  }
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    const ProgramFile file = readProgramFile(joinPath(choice.directory, name), withName);
    return file.status == ProgramFileStatus::kRead && file.lines == lines;
  });
}

}  // namespace qxr
