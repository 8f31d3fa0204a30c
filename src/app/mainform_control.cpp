// The operator's control of the window: Stop and the progress of a running
// transfer, one transfer at a time, unsaved work, the usual keys, dropped
// files and the recent files of each page.
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <QToolButton>

#include "app/mainform.h"
#include "app/questions.h"
#include "app/transferbar.h"
#include "base/controltexts.h"
#include "link/comm.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

constexpr int kRecentFileCount = 6;

QuestionHook& questionHook() {
  static QuestionHook hook;
  return hook;
}

// The layout that holds `widget` directly, searched from `layout` down.
QBoxLayout* boxHolding(QLayout* layout, QWidget* widget) {
  if (!layout) return nullptr;
  if (auto* box = qobject_cast<QBoxLayout*>(layout); box && box->indexOf(widget) >= 0) return box;
  for (int i = 0; i < layout->count(); ++i)
    if (QBoxLayout* found = boxHolding(layout->itemAt(i)->layout(), widget)) return found;
  return nullptr;
}

// Puts `added` right below `below` in the layout that holds it.
void placeBelow(QWidget* below, QWidget* added) {
  QWidget* sheet = below->parentWidget();
  if (QBoxLayout* box = boxHolding(sheet ? sheet->layout() : nullptr, below)) {
    box->insertWidget(box->indexOf(below) + 1, added);
  }
}

// Reads a file dropped on an editor as the page's read button does.
class DropReader : public QObject {
 public:
  DropReader(QObject* parent, std::function<void(int, const QString&)> read)
      : QObject(parent), read_(std::move(read)) {}
  // Drops arrive at the editor's viewport.
  void watch(QPlainTextEdit* editor, int page) {
    editor->setAcceptDrops(true);
    editor->viewport()->setAcceptDrops(true);
    editor->viewport()->installEventFilter(this);
    pages_[editor->viewport()] = page;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove && event->type() != QEvent::Drop)
      return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = localFile(drop->mimeData());
    if (path.isEmpty()) return false;  // text is dropped into the editor as usual
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
      const int page = pages_.value(watched, -1);
      // After the drop has ended: the read may ask questions.
      QTimer::singleShot(0, parent(), [this, page, path] { read_(page, path); });
    }
    return true;
  }

 private:
  static QString localFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
  }
  std::function<void(int, const QString&)> read_;
  QHash<QObject*, int> pages_;
};

// The toolkit's own texts (standard buttons, its dialogs) in the operator's
// language, from the translations the system ships; once per program.
void installToolkitTranslations(int language) {
  static bool installed = false;
  if (installed || language == 1 || !qApp) return;
  installed = true;
  auto* translator = new QTranslator(qApp);
  if (translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;
}

}  // namespace

QuestionHook setQuestionHook(QuestionHook hook) {
  QuestionHook previous = std::move(questionHook());
  questionHook() = std::move(hook);
  return previous;
}

int askQuestion(QMessageBox& box) {
  if (questionHook()) return questionHook()(box);
  return box.exec();
}

struct ControlState {
  bool stopRequested = false;
  int page = -1;                // the page of the running operation
  bool pageChangePending = false;
  bool quitAfterStop = false;
  TransferBar* bars[3] = {};
  std::vector<std::pair<QPointer<QWidget>, bool>> locked;  // widgets disabled meanwhile
  QShortcut* escape = nullptr;
  QString baseTitle;
  QStringList recent[3];
  QToolButton* recentButtons[3] = {};
  QString presetPath;           // a recent or dropped file: the next open window's answer
};

void TMainForm::buildControl() {
  control_ = std::make_shared<ControlState>();
  ControlState& c = *control_;
  c.baseTitle = windowTitle();
  const int language = session_.language();
  installToolkitTranslations(language);
  QPlainTextEdit* boxes[] = {MsgMemo, ParMsgMemo, PLMMsgMemo};
  for (int page = 0; page < 3; ++page) {
    c.bars[page] = new TransferBar(language, boxes[page]->parentWidget());
    placeBelow(boxes[page], c.bars[page]);
    connect(c.bars[page], &TransferBar::stopClicked, this, &TMainForm::StopBtnClick);
    // Long messages wrap instead of running out of sight.
    boxes[page]->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  }
  c.escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &TMainForm::StopBtnClick);
  c.escape->setEnabled(false);

  // The editors' unsaved work shows in the title.
  for (int page = 0; page < 3; ++page) {
    pageEditor(page)->document()->setModified(false);
    connect(pageEditor(page)->document(), &QTextDocument::modificationChanged, this, [this] {
      if (!operationRunning_) markSaved(-1);
    });
  }

  // The usual keys: the current page's file read and write, the manual.
  auto onPage = [this](void (TMainForm::*nc)(), void (TMainForm::*par)(), void (TMainForm::*plc)()) {
    return [this, nc, par, plc] {
      if (operationRunning_) return;
      switch (PageControl->currentIndex()) {
        case kProgramPage: (this->*nc)(); break;
        case kParameterPage: (this->*par)(); break;
        case kPlcPage: (this->*plc)(); break;
        default: break;
      }
    };
  };
  auto* open = new QShortcut(QKeySequence::Open, this);
  connect(open, &QShortcut::activated, this,
          onPage(&TMainForm::ReadFileBtnClick, &TMainForm::ReadParBtnClick, &TMainForm::ReadPLMBtnClick));
  auto* save = new QShortcut(QKeySequence::Save, this);
  connect(save, &QShortcut::activated, this,
          onPage(&TMainForm::WriteFileBtnClick, &TMainForm::WriteParBtnClick, &TMainForm::WritePLMBtnClick));
  auto* manual = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(manual, &QShortcut::activated, this, [this] {
    if (!operationRunning_) SpeedButton1Click();
  });

  // Files dropped on an editor, and the recent files of each page.
  auto readPath = [this](int page, const QString& path) {
    if (page < 0 || operationRunning_) return;
    PageControl->setCurrentIndex(page);
    control_->presetPath = path;
    switch (page) {
      case kProgramPage: ReadFileBtnClick(); break;
      case kParameterPage: ReadParBtnClick(); break;
      case kPlcPage: ReadPLMBtnClick(); break;
      default: break;
    }
    control_->presetPath.clear();
  };
  auto* drops = new DropReader(this, readPath);
  QLabel* fileLabels[] = {FileNameLabel, ParFileNameLabel, PLMFileNameLabel};
  const QString recentCaption = QString::fromStdString(controlText(language, ControlText::kRecentFiles));
  for (int page = 0; page < 3; ++page) {
    drops->watch(pageEditor(page), page);
    auto* button = new QToolButton(fileLabels[page]->parentWidget());
    button->setObjectName(QStringLiteral("RecentBtn%1").arg(page));
    button->setText(recentCaption);
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    button->setMenu(menu);
    button->setEnabled(false);
    connect(menu, &QMenu::aboutToShow, this, [this, menu, page, readPath] {
      menu->clear();
      for (const QString& path : control_->recent[page])
        menu->addAction(path, this, [page, path, readPath] { readPath(page, path); });
    });
    placeBelow(fileLabels[page], button);
    c.recentButtons[page] = button;
  }
  loadRecentFiles();
}

// --- one operation at a time ---

void TMainForm::beginOperation() {
  ControlState& c = *control_;
  c.stopRequested = false;
  link_->resetStop();
  c.page = PageControl->currentIndex();
  c.locked.clear();
  // Every button that starts an operation, on every page, and what changes
  // the model under a running parameter transfer.
  QWidget* const starters[] = {
      ReadFileBtn, WriteFileBtn, TransBtn, RcvBtn, DelProgBtn, SimulatorBtn, MultipleBtn, AutoDetectBtn,
      ReadParBtn, WriteParBtn, ParTrnBtn, ParRcvBtn, SelAllBtn, CancelSelBtn,
      QXR102RadioButton, QXR202RadioButton, QXR302RadioButton, QXR101RadioButton, QXR200RadioButton,
      QXR300RadioButton, VerSDRadioBtn, VerKRadioBtn, VerMRadioBtn, ReadPLMBtn, WritePLMBtn, PLMTrnBtn,
      PLMRcvBtn, COM_Select, TypeSel, Button1, Button2, Button3, Button4, Button5, Button6,
      c.recentButtons[0], c.recentButtons[1], c.recentButtons[2]};
  for (QWidget* w : starters) {
    if (!w) continue;
    c.locked.emplace_back(w, w->isEnabled());
    w->setEnabled(false);
  }
  c.escape->setEnabled(true);
}

void TMainForm::endOperation() {
  ControlState& c = *control_;
  for (auto& [widget, enabled] : c.locked)
    if (widget) widget->setEnabled(enabled);
  c.locked.clear();
  for (TransferBar* bar : c.bars) bar->hide();
  c.escape->setEnabled(false);
  c.page = -1;
  c.stopRequested = false;
  markSaved(-1);  // the title again
  // What waited for the operation's end: a page's entry, quitting.
  if (c.pageChangePending) {
    c.pageChangePending = false;
    QTimer::singleShot(0, this, [this] {
      if (!operationRunning_) PageControlChange();
    });
  }
  if (c.quitAfterStop) {
    c.quitAfterStop = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

int TMainForm::operationPage() const { return control_ ? control_->page : -1; }

bool TMainForm::deferWhileRunning() {
  if (!control_ || !operationRunning_) return false;
  control_->pageChangePending = true;
  return true;
}

TransferBar* TMainForm::transferBar(int page) const {
  return control_ && page >= 0 && page < 3 ? control_->bars[page] : nullptr;
}

// --- stop and progress (LinkHost) ---

void TMainForm::StopBtnClick() {
  if (!control_ || control_->page < 0 || control_->stopRequested) return;
  control_->stopRequested = true;
  if (TransferBar* bar = transferBar(control_->page)) bar->stopping();
}

bool TMainForm::stopRequested() const { return control_ && control_->stopRequested; }

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

// --- unsaved work ---

QPlainTextEdit* TMainForm::pageEditor(int page) const {
  switch (page) {
    case kProgramPage: return ProgramMemo;
    case kParameterPage: return ParameterMemo;
    case kPlcPage: return PLMMemo;
    default: return nullptr;
  }
}

bool TMainForm::hasUnsavedWork(int page) const {
  const QPlainTextEdit* editor = pageEditor(page);
  return editor && editor->document()->isModified() && !editor->document()->isEmpty();
}

void TMainForm::markSaved(int page) {
  if (QPlainTextEdit* editor = pageEditor(page)) editor->document()->setModified(false);
  if (!control_ || operationRunning_) return;
  bool unsaved = false;
  for (int p = 0; p < 3; ++p) unsaved = unsaved || hasUnsavedWork(p);
  setWindowTitle(unsaved ? QStringLiteral("* ") + control_->baseTitle : control_->baseTitle);
}

bool TMainForm::settleUnsavedWork(int page) {
  if (operationRunning_ || !hasUnsavedWork(page)) return true;
  const int language = session_.language();
  const ControlText what = page == kProgramPage     ? ControlText::kProgramEditor
                           : page == kParameterPage ? ControlText::kParameterEditor
                                                    : ControlText::kPlcEditor;
  QMessageBox box(QMessageBox::Warning, control_->baseTitle,
                  QString::fromStdString(controlText(language, ControlText::kUnsavedQuestion,
                                                     controlText(language, what))),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName("UnsavedQuestion");
  box.setDefaultButton(QMessageBox::Save);
  switch (askQuestion(box)) {
    case QMessageBox::Discard:
      return true;
    case QMessageBox::Save:
      PageControl->setCurrentIndex(page);
      switch (page) {
        case kProgramPage: WriteFileBtnClick(); break;
        case kParameterPage: WriteParBtnClick(); break;
        case kPlcPage: WritePLMBtnClick(); break;
        default: break;
      }
      return !hasUnsavedWork(page);
    default:
      return false;
  }
}

// --- quitting ---

bool TMainForm::confirmClose() {
  if (!control_) return true;
  if (operationRunning_) {
    if (control_->quitAfterStop) return false;  // already stopping to quit
    const int language = session_.language();
    QMessageBox box(QMessageBox::Question, control_->baseTitle,
                    QString::fromStdString(controlText(language, ControlText::kTransferRunning)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("TransferRunningQuestion");
    box.button(QMessageBox::Yes)->setText(QString::fromStdString(controlText(language, ControlText::kStopAndQuit)));
    box.button(QMessageBox::No)->setText(QString::fromStdString(controlText(language, ControlText::kKeepGoing)));
    box.setDefaultButton(QMessageBox::No);
    if (askQuestion(box) == QMessageBox::Yes && operationRunning_) {
      control_->quitAfterStop = true;
      StopBtnClick();
    }
    return false;  // the window closes once the operation has ended
  }
  for (int page = 0; page < 3; ++page)
    if (!settleUnsavedWork(page)) return false;
  return true;
}

// --- recent files ---

bool TMainForm::takePresetPath(std::string& path) {
  if (!control_ || control_->presetPath.isEmpty()) return false;
  path = control_->presetPath.toStdString();
  control_->presetPath.clear();
  return true;
}

QStringList TMainForm::recentFiles(int page) const {
  return control_ && page >= 0 && page < 3 ? control_->recent[page] : QStringList();
}

void TMainForm::noteRecentFile(int page, const std::string& path) {
  if (!control_ || page < 0 || page >= 3 || path.empty()) return;
  const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
  QStringList& list = control_->recent[page];
  list.removeAll(absolute);
  list.prepend(absolute);
  while (list.size() > kRecentFileCount) list.removeLast();
  // Enabled again with the other starters when an operation ends.
  for (auto& [widget, enabled] : control_->locked)
    if (widget == control_->recentButtons[page]) enabled = true;
  if (!operationRunning_) control_->recentButtons[page]->setEnabled(true);
  saveRecentFiles();
}

}  // namespace qxr
