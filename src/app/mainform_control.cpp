// The operator's control of the window: one operation at a time, with
// nothing modal opened inside it; Stop and the progress of a running
// transfer; unsaved work; the usual keys, dropped and recent files; quitting,
// by the window or by a signal.
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/controlparts.h"
#include "app/mainform.h"
#include "base/fileio.h"
#include "app/msgdlg.h"
#include "app/questions.h"
#include "app/transferbar.h"
#include "base/codec.h"
#include "base/controltexts.h"
#include "base/textio.h"
#include "link/comm.h"
#include "link/link.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr int kRecentFileCount = 6;
// Where a quit by signal keeps a page's unsaved edits, in the start directory.
constexpr const char* kKeptEdits[] = {"Unsaved program.txt", "Unsaved parameters.txt", "Unsaved PLC.txt"};

}  // namespace

struct ControlState {
  bool stopRequested = false;
  int page = -1;  // the page of the running operation
  bool pageChangePending = false;
  bool quitAfterStop = false;
  int quitSignal = 0;  // the signal that asked the window to quit
  TransferBar* bars[3] = {};
  std::vector<std::pair<QPointer<QWidget>, bool>> locked;  // widgets disabled meanwhile
  QShortcut* escape = nullptr;
  QString baseTitle;
  QString titleProgress;
  QStringList recent[3];
  QToolButton* recentButtons[3] = {};
  QString presetPath;  // a recent or dropped file: the next open window's answer
};

void TMainForm::buildControl() {
  control_ = std::make_shared<ControlState>();
  ControlState& c = *control_;
  c.baseTitle = windowTitle();
  const int language = session_.language();
  installToolkitTranslations(language);
  for (int index = 0; index < 3; ++index) {
    QPlainTextEdit* box = page(index)->messageBox();
    c.bars[index] = new TransferBar(language, box->parentWidget());
    placeBelow(box, c.bars[index]);
    connect(c.bars[index], &TransferBar::stopClicked, this, &TMainForm::StopBtnClick);
    connect(c.bars[index], &TransferBar::stopAndQuitClicked, this, [this] {
      if (!operationRunning_) return;
      control_->quitAfterStop = true;
      StopBtnClick();
    });
  }
  c.escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &TMainForm::StopBtnClick);
  c.escape->setEnabled(false);

  // The editors' unsaved work shows in the title.
  for (int index = 0; index < 3; ++index) {
    QTextDocument* document = page(index)->editor()->document();
    document->setModified(false);
    connect(document, &QTextDocument::modificationChanged, this, [this] {
      if (!operationRunning_) markSaved(-1);
    });
  }

  // The usual keys: the current page's file read and write, the manual.
  auto onPage = [this](void (TWindowPage::*handler)()) {
    return [this, handler] {
      if (!operationRunning_) (page(PageControl->currentIndex())->*handler)();
    };
  };
  connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
          onPage(&TWindowPage::readFileClick));
  connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
          onPage(&TWindowPage::writeFileClick));
  connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, [this] {
    if (!operationRunning_) SpeedButton1Click();
  });

  // Files dropped on an editor, and the recent files of each page.
  auto* drops = new DropReader(
      this, [this](int index, const QString& path) { readPresetFile(index, path); },
      [this] { return operationRunning_; });
  const QString recentCaption = QString::fromStdString(controlText(language, ControlText::kRecentFiles));
  for (int index = 0; index < 3; ++index) {
    drops->watch(page(index)->editor(), index);
    QLabel* fileLabel = page(index)->fileLabel();
    auto* button = new QToolButton(fileLabel->parentWidget());
    button->setObjectName(QStringLiteral("RecentBtn%1").arg(index));
    button->setText(recentCaption);
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    button->setMenu(menu);
    button->setEnabled(false);
    connect(menu, &QMenu::aboutToShow, this, [this, menu, index] {
      menu->clear();
      for (const QString& path : control_->recent[index])
        menu->addAction(path, this, [this, index, path] { readPresetFile(index, path); });
    });
    placeBelow(fileLabel, button);
    c.recentButtons[index] = button;
  }
  loadRecentFiles();
}

// --- one operation at a time ---

bool TMainForm::tryBeginOperation() {
  if (operationRunning_) {
    beep();
    return false;
  }
  operationRunning_ = true;
  beginOperation();
  return true;
}

void TMainForm::finishOperation() {
  operationRunning_ = false;
  endOperation();
}

void TMainForm::beginOperation() {
  ControlState& c = *control_;
  c.stopRequested = false;
  link_->resetStop();
  c.page = PageControl->currentIndex();
  lockStarters();
  c.escape->setEnabled(true);
}

// Every control that starts an operation, opens a modal window or changes
// where the transfer goes (the port, its list, the model under a parameter
// transfer) is disabled until the operation ends; the close box and Exit ask
// in the page's strip instead, and the about box opens beside the transfer.
void TMainForm::lockStarters() {
  ControlState& c = *control_;
  const TProgramPage& p = *program;
  const TParameterPage& r = *parameters;
  QWidget* const starters[] = {
      p.ReadFileBtn,       p.WriteFileBtn,      p.TransBtn,          p.RcvBtn,
      p.DelProgBtn,        p.SimulatorBtn,      p.PreviewBtn,        p.MultipleBtn,
      p.AutoDetectBtn,     p.COM_Select,        p.PortsBtn,          p.TypeSel,
      p.SpeedButton1,      p.Button1,           p.Button2,           p.Button3,
      p.Button4,           p.Button5,           p.Button6,           r.ReadParBtn,
      r.WriteParBtn,       r.ParTrnBtn,         r.ParRcvBtn,         r.SelAllBtn,
      r.CancelSelBtn,      r.QXR102RadioButton, r.QXR202RadioButton, r.QXR302RadioButton,
      r.QXR101RadioButton, r.QXR200RadioButton, r.QXR300RadioButton, r.VerSDRadioBtn,
      r.VerKRadioBtn,      r.VerMRadioBtn,      plc->ReadPLMBtn,     plc->WritePLMBtn,
      plc->PLMTrnBtn,      plc->PLMRcvBtn,      c.recentButtons[0],  c.recentButtons[1],
      c.recentButtons[2]};
  // The shop's controls: a machine choice changes where the transfer goes,
  // the Machines and Journal windows and Compare and Export start work too.
  QWidget* const shopStarters[] = {MachineSelect, MachinesBtn, JournalBtn,
                                   p.findChild<QWidget*>(QStringLiteral("CompareBtn")),
                                   p.findChild<QWidget*>(QStringLiteral("ExportBtn"))};
  c.locked.clear();
  for (QWidget* w : starters) {
    c.locked.emplace_back(w, w->isEnabled());
    w->setEnabled(false);
  }
  for (QWidget* w : shopStarters) {
    if (!w) continue;
    c.locked.emplace_back(w, w->isEnabled());
    w->setEnabled(false);
  }
}

void TMainForm::endOperation() {
  ControlState& c = *control_;
  for (auto& [widget, enabled] : c.locked)
    if (widget) widget->setEnabled(enabled);
  c.locked.clear();
  for (TransferBar* bar : c.bars) {
    bar->hideQuitQuestion();
    bar->hide();
  }
  c.escape->setEnabled(false);
  c.page = -1;
  c.stopRequested = false;
  c.titleProgress.clear();
  markSaved(-1);  // the title again
  // What waited for the operation's end: a page's entry, quitting.
  if (c.pageChangePending) {
    c.pageChangePending = false;
    QTimer::singleShot(0, this, [this] {
      if (!operationRunning_ && !control_->quitSignal) PageControlChange();
    });
  }
  if (c.quitAfterStop) {
    c.quitAfterStop = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

int TMainForm::operationPage() const {
  return control_ ? control_->page : -1;
}

bool TMainForm::deferWhileRunning() {
  if (!control_ || !operationRunning_) return false;
  control_->pageChangePending = true;
  return true;
}

TransferBar* TMainForm::transferBar(int index) const {
  return control_ && index >= 0 && index < 3 ? control_->bars[index] : nullptr;
}

// --- the link's waits, questions, stop and progress (LinkHost) ---

void TMainForm::processEvents() {
  // A wait of a transfer: its page shows Stop from now on.
  if (TransferBar* bar = transferBar(operationPage()); bar && bar->isHidden()) bar->start();
  QApplication::processEvents();
}

// The operations' own questions (overwrite, delete a partial program) stay
// modal: they belong to the transfer. When the window quits on a signal
// they get the cautious answer without being shown.
bool TMainForm::confirm(std::string_view question) {
  if (control_ && control_->quitSignal) return false;
  SetDialogButtonCaptions(mbOK, 2);
  const int result =
      ShowMessageDialog(mixedLineText(question, session_.language()), mtConfirmation, {2, mbOK, mbCancel, 0});
  return result != mrCancel;
}

void TMainForm::notice(std::string_view text) {
  if (control_ && control_->quitSignal) return;
  SetDialogButtonCaptions(mbOK, 1);
  ShowMessageDialog(mixedLineText(text, session_.language()), mtWarning, {1, mbOK, 0});
}

void TMainForm::StopBtnClick() {
  if (!control_ || control_->page < 0 || control_->stopRequested) return;
  control_->stopRequested = true;
  if (TransferBar* bar = transferBar(control_->page)) bar->stopping();
}

bool TMainForm::stopRequested() const {
  return control_ && control_->stopRequested;
}

void TMainForm::clearStopRequest() {
  if (!control_) return;
  control_->stopRequested = false;
  if (TransferBar* bar = transferBar(control_->page); bar && bar->isVisible()) bar->start();
}

void TMainForm::showTransferProgress(const ProgressSnapshot& progress) {
  if (TransferBar* bar = transferBar(operationPage())) bar->showProgress(progress);
}

void TMainForm::endTransferProgress() {
  if (TransferBar* bar = transferBar(operationPage())) bar->clearProgress();
}

// --- unsaved work and the title ---

bool TMainForm::hasUnsavedWork(int index) const {
  const TWindowPage* sheet = page(index);
  return sheet && sheet->editor()->document()->isModified() && !sheet->editor()->document()->isEmpty();
}

void TMainForm::markSaved(int index) {
  if (TWindowPage* sheet = page(index)) sheet->editor()->document()->setModified(false);
  if (control_ && !operationRunning_) refreshTitle();
}

void TMainForm::refreshTitle() {
  bool unsaved = false;
  for (int p = 0; p < 3; ++p) unsaved = unsaved || hasUnsavedWork(p);
  QString title = unsaved ? QStringLiteral("* ") + control_->baseTitle : control_->baseTitle;
  if (!control_->titleProgress.isEmpty()) title += QStringLiteral(" \u2014 ") + control_->titleProgress;
  setWindowTitle(title);
}

void TMainForm::showTitleProgress(const QString& progress) {
  if (!control_) return;
  control_->titleProgress = progress;
  refreshTitle();
}

bool TMainForm::settleUnsavedWork(int index) {
  if (operationRunning_ || !hasUnsavedWork(index)) return true;
  const int language = session_.language();
  const ControlText what = index == kProgramPage     ? ControlText::kProgramEditor
                           : index == kParameterPage ? ControlText::kParameterEditor
                                                     : ControlText::kPlcEditor;
  QMessageBox box(QMessageBox::Warning, control_->baseTitle,
                  QString::fromStdString(
                      controlText(language, ControlText::kUnsavedQuestion, controlText(language, what))),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName("UnsavedQuestion");
  box.setDefaultButton(QMessageBox::Save);
  switch (askQuestion(box)) {
    case QMessageBox::Discard:
      return true;
    case QMessageBox::Save:
      PageControl->setCurrentIndex(index);
      page(index)->writeFileClick();
      return !hasUnsavedWork(index);
    default:
      return false;
  }
}

// --- quitting ---

void TMainForm::closeEvent(QCloseEvent* event) {
  if (control_ && control_->quitSignal) {
    if (operationRunning_) {
      event->ignore();  // the window closes once the operation has stopped
      return;
    }
    keepUnsavedWork();
  } else if (!confirmClose()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

// During a transfer the question is a strip on the transfer's page, not a
// dialog: the transfer's waits go on while it shows.
bool TMainForm::confirmClose() {
  if (!control_) return true;
  if (operationRunning_) {
    if (!control_->quitAfterStop && control_->page >= 0) {
      PageControl->setCurrentIndex(control_->page);
      control_->bars[control_->page]->askToQuit();
    }
    return false;
  }
  for (int index = 0; index < 3; ++index)
    if (!settleUnsavedWork(index)) return false;
  return true;
}

void TMainForm::quitOnSignal(int signal) {
  if (!control_) return;
  if (control_->quitSignal) {
    // The operator asked again: unsaved edits are kept, the settings are
    // written and the program ends now, wherever the first request got to.
    std::fprintf(stderr, "qxrtrans: signal %d again, quitting at once\n", signal);
    keepUnsavedWork();
    FormClose();
    std::_Exit(128 + signal);
  }
  control_->quitSignal = signal;
  if (operationRunning_) {
    control_->quitAfterStop = true;
    StopBtnClick();
  }
  closeForSignal();
}

// Every window open over the main window is closed as its Cancel would;
// then the main window closes, or the operation's end closes it.
void TMainForm::closeForSignal() {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
    QTimer::singleShot(0, this, &TMainForm::closeForSignal);
    return;
  }
  if (!operationRunning_) close();
}

// Nobody is asked when a signal ends the program: the edits not yet saved
// or sent go to files of the start directory, named on stderr.
void TMainForm::keepUnsavedWork() {
  for (int index = 0; index < 3; ++index) {
    if (!hasUnsavedWork(index)) continue;
    // Never over edits an earlier quit kept: "Unsaved program (2).txt" and on.
    const std::string name = kKeptEdits[index];
    std::string path = joinPath(session_.startDir, name);
    for (int n = 2; ::access(path.c_str(), F_OK) == 0 && n < 1000; ++n)
      path = joinPath(session_.startDir, name.substr(0, name.size() - 4) + " (" + std::to_string(n) + ").txt");
    // The bytes of the operator's code page, as the page's own save writes them.
    const std::string text = utf8ToBytes(page(index)->editor()->toPlainText().toStdString(), session_.language());
    const bool kept = saveFile(path, text) == FileError::kNone;
    std::fprintf(
        stderr,
        kept ? "qxrtrans: unsaved edits kept in %s\n" : "qxrtrans: could not keep unsaved edits in %s\n",
        path.c_str());
  }
}

// --- dropped and recent files ---

void TMainForm::readPresetFile(int index, const QString& path) {
  if (index < 0 || operationRunning_) return;
  PageControl->setCurrentIndex(index);
  control_->presetPath = path;
  page(index)->readFileClick();
  control_->presetPath.clear();
}

bool TMainForm::takePresetPath(std::string& path) {
  if (!control_ || control_->presetPath.isEmpty()) return false;
  path = control_->presetPath.toStdString();
  control_->presetPath.clear();
  return true;
}

QStringList TMainForm::recentFiles(int index) const {
  return control_ && index >= 0 && index < 3 ? control_->recent[index] : QStringList();
}

void TMainForm::noteRecentFile(int index, const std::string& path) {
  if (!control_ || index < 0 || index >= 3 || path.empty()) return;
  const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
  QStringList& list = control_->recent[index];
  list.removeAll(absolute);
  list.prepend(absolute);
  while (list.size() > kRecentFileCount) list.removeLast();
  // Enabled again with the other starters when an operation ends.
  for (auto& [widget, enabled] : control_->locked)
    if (widget == control_->recentButtons[index]) enabled = true;
  if (!operationRunning_) control_->recentButtons[index]->setEnabled(true);
  saveRecentFiles();
}

}  // namespace qxr
