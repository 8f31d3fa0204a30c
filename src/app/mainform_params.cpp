// The parameter page's operations of the main window: thin bindings of the
// widgets to the core's parameter catalogue, files and transfers.
#include <QListWidget>
#include <QPlainTextEdit>
#include <QLabel>
#include <QTextCursor>

#include "base/codec.h"
#include "app/mainform.h"
#include "link/link.h"
#include "params/paramlist.h"
#include "app/parammemo.h"
#include "params/paramtransfer.h"

namespace qxr {

struct TMainForm::ParameterState {
  ParameterCatalogue catalogue;
  ParameterEntries list;  // position i is item i of ParaCheckListBox
};

namespace {

class WindowParameterPage final : public ParameterPage {
 public:
  explicit WindowParameterPage(TMainForm& form) : form_(form) {}

  std::vector<std::string> parameterLines() const override { return memoLines(*form_.ParameterMemo, language()); }
  void setParameterLines(const std::vector<std::string>& lines) override {
    setMemoLines(*form_.ParameterMemo, lines, language());
  }
  void appendParameterLine(std::string_view line) override {
    appendMemoLine(*form_.ParameterMemo, line, language());
  }
  std::vector<int> checkedEntries() const override {
    std::vector<int> checked;
    const QListWidget& box = *form_.ParaCheckListBox;
    for (int row = 0; row < box.count(); ++row)
      if (box.item(row)->checkState() == Qt::Checked) checked.push_back(row);
    return checked;
  }
  void setFileLabel(std::string_view text) override {
    form_.ParFileNameLabel->setText(QString::fromStdString(displayUtf8(text, language())));
  }
  void showLastParameterLine() override {
    form_.ParameterMemo->setFocus();
    form_.ParameterMemo->moveCursor(QTextCursor::End);
    form_.ParameterMemo->ensureCursorVisible();
  }

 private:
  int language() const { return form_.session().language(); }
  TMainForm& form_;
};

}  // namespace

TMainForm::ParameterState& TMainForm::parameterState() {
  if (!parameters_) parameters_ = std::make_shared<ParameterState>();
  return *parameters_;
}

void TMainForm::LoadAdditionalParameterLists() {
  parameterState().catalogue.loadAdditionalLists(session_.startDir, session_.language());
}

void TMainForm::SetParameterList(int modelIndex) {
  session_.modelIndex = modelIndex;
  ParameterState& state = parameterState();
  state.list = state.catalogue.build(session_.startDir, modelIndex, session_.versionIndex, session_.language());
  if (!ParaCheckListBox) return;
  ParaCheckListBox->setUpdatesEnabled(false);
  ParaCheckListBox->clear();
  for (const ParameterEntry& entry : state.list) {
    auto* item = new QListWidgetItem(QString::fromStdString(bytesToUtf8(entry.name, session_.language())));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setToolTip(item->text());  // a long name is cut in the list
    ParaCheckListBox->addItem(item);
  }
  ParaCheckListBox->setUpdatesEnabled(true);
}

void TMainForm::ReadParBtnClick() {
  if (!settleUnsavedWork(kParameterPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  if (!ShowOpenFileWindow()) return;
  WindowParameterPage page(*this);
  if (readParameterFile(fileChoice.currentFilePath, session_, *this, page)) {
    markSaved(kParameterPage);
    noteRecentFile(kParameterPage, fileChoice.currentFilePath);
  }
}

void TMainForm::WriteParBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ParameterMemo, kParameterPage, Refused::kSave)) return;
  if (!ShowSaveFileWindow()) return;
  WindowParameterPage page(*this);
  if (writeParameterFile(fileChoice.currentFilePath, session_, *this, page)) {
    markSaved(kParameterPage);
    noteRecentFile(kParameterPage, fileChoice.currentFilePath);
  }
}

void TMainForm::ParTrnBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ParameterMemo, kParameterPage, Refused::kSend)) return;
  WindowParameterPage page(*this);
  if (journalled("param send", [&] { return sendParameters(*link_, page); })) markSaved(kParameterPage);
}

void TMainForm::ParRcvBtnClick() {
  if (!settleUnsavedWork(kParameterPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  WindowParameterPage page(*this);
  // A copy: the list may be rebuilt (page change, model choice) while the
  // transfer waits and processes events.
  const ParameterEntries list = parameterState().list;
  if (journalled("param receive", [&] { return receiveParameters(*link_, page, list); })) markSaved(kParameterPage);
}

}  // namespace qxr
