#include "app/filewindows.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/dirbrowser.h"
#include "base/filepaths.h"
#include "app/msgdlg.h"
#include "base/session.h"

namespace qxr {

namespace {

QString caption(const Session& session, int n) { return QString::fromStdString(session.msg(n)); }
QString fromPath(const std::string& path) { return pathText(path); }
std::string toPath(const QString& text) { return pathBytes(text); }

// A name with wildcards lists files; it never becomes the name the save
// window proposes.
bool hasWildcards(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

FileWindowHook& fileWindowHook() {
  static FileWindowHook hook;
  return hook;
}

void centreOnScreen(QWidget* window) {
  if (QScreen* screen = window->screen()) {
    const QRect s = screen->geometry();
    const QSize frame = window->frameGeometry().size();
    window->move(s.left() + s.width() / 2 - frame.width() / 2, s.top() + s.height() / 2 - frame.height() / 2);
  }
}

}  // namespace

FileWindowHook setFileWindowHook(FileWindowHook hook) {
  FileWindowHook previous = std::move(fileWindowHook());
  fileWindowHook() = std::move(hook);
  return previous;
}

void runFileWindow(QDialog& window) {
  if (fileWindowHook()) {
    fileWindowHook()(window);
    return;
  }
  window.exec();
}

// --- the shared part of the open and save windows ---

TFileWindowBase::TFileWindowBase(const Session& session, int page, bool save, FileChoice& choice,
                                 const std::string& startDir, QWidget* parent)
    : QDialog(parent), session_(session), choice_(choice), page_(page), save_(save) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setModal(true);

  Label1 = new QLabel(caption(session, msg::kFileLabel), this);
  Label1->setObjectName("Label1");
  FileEdit = new QLineEdit(this);
  FileEdit->setObjectName("FileEdit");
  Label1->setBuddy(FileEdit);
  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName("FileListBox1");
  FilterComboBox1 = new QComboBox(this);
  FilterComboBox1->setObjectName("FilterComboBox1");
  DirLabel = new QLabel(this);
  DirLabel->setObjectName("DirLabel");
  DirLabel->setMinimumWidth(10);
  DirectoryListBox1 = new QListWidget(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  buttonColumn_ = new QWidget(this);
  auto* buttons = new QVBoxLayout(buttonColumn_);
  buttons->setContentsMargins(0, 0, 0, 0);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(DirLabel, 0, 1);
  grid->addWidget(FileEdit, 1, 0);
  grid->addWidget(FileListBox1, 2, 0);
  grid->addWidget(DirectoryListBox1, 1, 1, 2, 1);
  grid->addWidget(FilterComboBox1, 3, 0);
  grid->addWidget(DriveComboBox1, 3, 1);
  grid->addWidget(buttonColumn_, 1, 2, 3, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);

  for (const FileFilterEntry& entry : parseFileFilter(fileFilterText(page, save)))
    FilterComboBox1->addItem(QString::fromStdString(entry.description + " (" + entry.pattern + ")"),
                             QString::fromStdString(entry.pattern));
  browser_ = new DirectoryBrowser(DriveComboBox1, DirectoryListBox1, DirLabel, session.startDir, this);
  connect(browser_, &DirectoryBrowser::directoryChosen, this, [this] {
    fillFiles();
    directoryChanged();
  });
  connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, [this] {
    fillFiles();
    directoryChanged();
  });
  connect(FileListBox1, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item) FileEdit->setText(item->text());
  });
  connect(FileListBox1, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { FileEdit->setText(item->text()); });
  FileListBox1->installEventFilter(this);

  const std::string start = startDir.empty() ? session.startDir : startDir;
  setDirectory(start);
  if (directory().empty()) setDirectory(QDir::homePath().toStdString());
  setFixedSize(640, 360);
}

const std::string& TFileWindowBase::directory() const { return browser_->directory(); }

void TFileWindowBase::setDirectory(const std::string& dir) {
  if (!browser_->setDirectory(dir)) return;
  fillFiles();
  directoryChanged();
}

void TFileWindowBase::fillFiles() {
  FileListBox1->clear();
  QString pattern = FilterComboBox1->currentData().toString();
  if (pattern == "*.*") pattern = "*";
  const QStringList files =
      QDir(fromPath(directory())).entryList({pattern}, QDir::Files, QDir::Name | QDir::IgnoreCase);
  // Filling the list must not overwrite what the operator typed.
  const QSignalBlocker block(FileListBox1);
  FileListBox1->addItems(files);
  FileListBox1->setCurrentRow(-1);
}

bool TFileWindowBase::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Enter in the file list takes the file's name before OK is pressed.
      if (watched == FileListBox1 && FileListBox1->currentItem()) {
        FileEdit->setText(FileListBox1->currentItem()->text());
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TFileWindowBase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centreOnScreen(this);
}

std::string TFileWindowBase::typedName() const { return toPath(FileEdit->text()); }

bool TFileWindowBase::enterTypedDirectory() {
  const std::string typed = typedName();
  if (typed.empty() || hasWildcards(typed)) return false;
  const QString target = typed[0] == '/' ? fromPath(typed) : fromPath(directory()) + fromPath(typed);
  if (!QFileInfo(target).isDir()) return false;
  setDirectory(toPath(target));
  FileEdit->clear();
  return true;
}

// --- open window ---

TOpenFileForm::TOpenFileForm(const Session& session, int page, FileChoice& choice, const std::string& startDir,
                             QWidget* parent)
    : TFileWindowBase(session, page, false, choice, startDir, parent) {
  setObjectName("OpenFileForm");
  setWindowTitle(caption(session, msg::kOpenFileTitle));
  OpenOKBtn = new QPushButton(caption(session, msg::kOk), buttonColumn_);
  OpenOKBtn->setObjectName("OpenOKBtn");
  OpenOKBtn->setDefault(true);
  OpenCloseBtn = new QPushButton(caption(session, msg::kCancel), buttonColumn_);
  OpenCloseBtn->setObjectName("OpenCloseBtn");
  auto* column = static_cast<QVBoxLayout*>(buttonColumn_->layout());
  column->addWidget(OpenOKBtn);
  column->addWidget(OpenCloseBtn);
  column->addStretch();
  FileEdit->setText("*.*");
  connect(OpenOKBtn, &QPushButton::clicked, this, &TOpenFileForm::OpenOKBtnClick);
  connect(OpenCloseBtn, &QPushButton::clicked, this, &TOpenFileForm::OpenCloseBtnClick);
  connect(FileListBox1, &QListWidget::itemDoubleClicked, this, [this] { OpenOKBtnClick(); });
  FileEdit->setFocus();
  FileEdit->selectAll();
}

void TOpenFileForm::OpenOKBtnClick() {
  if (enterTypedDirectory()) return;
  const std::string typed = typedName();
  const ProducedPath produced = produceOpenPath(directory(), typed, page_, FilterComboBox1->currentIndex());
  if (!hasWildcards(typed)) choice_.rememberedNames[static_cast<std::size_t>(page_ & 3)] = produced.rememberedName;
  choice_.currentFilePath = produced.path;
  choice_.fileChosen = true;
  accept();
}

void TOpenFileForm::OpenCloseBtnClick() {
  choice_.fileChosen = false;
  reject();
}

// --- save window ---

TSaveFileForm::TSaveFileForm(const Session& session, int page, FileChoice& choice, const std::string& startDir,
                             QWidget* parent)
    : TFileWindowBase(session, page, true, choice, startDir, parent) {
  setObjectName("SaveFileForm");
  setWindowTitle(caption(session, msg::kSaveFileTitle));
  SaveOKBtn = new QPushButton(caption(session, msg::kOk), buttonColumn_);
  SaveOKBtn->setObjectName("SaveOKBtn");
  SaveOKBtn->setDefault(true);
  SaveCloseBtn = new QPushButton(caption(session, msg::kCancel), buttonColumn_);
  SaveCloseBtn->setObjectName("SaveCloseBtn");
  NewDir = new QToolButton(buttonColumn_);
  NewDir->setObjectName("NewDir");
  NewDir->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  NewDir->setToolTip(caption(session, msg::kNewDirectory));
  NewDir->setAutoRaise(false);
  auto* column = static_cast<QVBoxLayout*>(buttonColumn_->layout());
  column->addWidget(SaveOKBtn);
  column->addWidget(SaveCloseBtn);
  column->addSpacing(12);
  column->addWidget(NewDir, 0, Qt::AlignLeft);
  column->addStretch();
  DirectoryListBox1Change();
  connect(SaveOKBtn, &QPushButton::clicked, this, &TSaveFileForm::SaveOKBtnClick);
  connect(SaveCloseBtn, &QPushButton::clicked, this, &TSaveFileForm::SaveCloseBtnClick);
  connect(NewDir, &QToolButton::clicked, this, &TSaveFileForm::NewDirClick);
  FileEdit->setFocus();
  FileEdit->selectAll();
}

void TSaveFileForm::DirectoryListBox1Change() {
  // The window is being built while the first directory is shown.
  if (!FileEdit) return;
  FileEdit->setText(fromPath(choice_.rememberedNames[static_cast<std::size_t>(page_ & 3)]));
}

void TSaveFileForm::SaveOKBtnClick() {
  if (enterTypedDirectory()) return;
  const std::string typed = typedName();
  const std::optional<ProducedPath> produced =
      produceSavePath(directory(), typed, page_, FilterComboBox1->currentIndex());
  if (!produced) {
    choice_.fileChosen = false;
    reject();
    return;
  }
  if (!hasWildcards(typed)) choice_.rememberedNames[static_cast<std::size_t>(page_ & 3)] = produced->rememberedName;
  choice_.currentFilePath = produced->path;
  choice_.fileChosen = true;
  accept();
}

void TSaveFileForm::SaveCloseBtnClick() {
  choice_.fileChosen = false;
  reject();
}

void TSaveFileForm::NewDirClick() { setDirectory(runNewDirWindow(session_, choice_, directory(), this)); }

std::string runNewDirWindow(const Session& session, FileChoice& choice, const std::string& dir, QWidget* parent) {
  choice.newDirCurrent = dir;
  TNewDirForm form(session, choice, parent);
  runFileWindow(form);
  return choice.newDirCurrent;
}

// --- new directory ---

TNewDirForm::TNewDirForm(const Session& session, FileChoice& choice, QWidget* parent)
    : QDialog(parent), session_(session), choice_(choice) {
  setObjectName("NewDirForm");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setModal(true);
  setWindowTitle(caption(session, msg::kNewDirectory));
  Label1 = new QLabel(caption(session, msg::kCurrentDirectory), this);
  Label1->setObjectName("Label1");
  NowDir = new QLabel(fromPath(choice.newDirCurrent), this);
  NowDir->setObjectName("NowDir");
  NowDir->setWordWrap(true);
  Label2 = new QLabel(caption(session, msg::kNewDirectoryName), this);
  Label2->setObjectName("Label2");
  NewDirEdit = new QLineEdit(this);
  NewDirEdit->setObjectName("NewDirEdit");
  ConfirmBtn = new QPushButton(caption(session, msg::kOk), this);
  ConfirmBtn->setObjectName("ConfirmBtn");
  CancelBtn = new QPushButton(caption(session, msg::kCancel), this);
  CancelBtn->setObjectName("CancelBtn");
  // Enter in the name field is handled there; no button takes it as well.
  for (QPushButton* b : {ConfirmBtn, CancelBtn}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(NowDir, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(NewDirEdit, 1, 1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ConfirmBtn);
  row->addWidget(CancelBtn);
  grid->addLayout(row, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  connect(ConfirmBtn, &QPushButton::clicked, this, &TNewDirForm::ConfirmBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TNewDirForm::CancelBtnClick);
  connect(NewDirEdit, &QLineEdit::returnPressed, this, &TNewDirForm::ConfirmBtnClick);
  setFixedWidth(420);
  setFixedHeight(sizeHint().height());
  NewDirEdit->setFocus();
}

void TNewDirForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  centreOnScreen(this);
}

void TNewDirForm::ConfirmBtnClick() {
  const std::optional<std::string> made = makeNewDirectory(choice_.newDirCurrent, toPath(NewDirEdit->text()));
  if (!made) {
    QApplication::beep();
    SetDialogButtonCaptions(0, 0);
    ShowSecondaryMessageDialog(caption(session_, msg::kDirectoryNotCreated), mtError, {1, mbOK, 0});
    return;
  }
  choice_.newDirCurrent = *made;
  accept();
}

void TNewDirForm::CancelBtnClick() { reject(); }

}  // namespace qxr
