// The PLC page's operations of the main window: the page's widgets behind
// the core's PlcPage, and the handlers that run the core operations.
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

#include "base/codec.h"
#include "app/mainform.h"
#include "link/link.h"
#include "plc/plcops.h"
#include "widgets/fspinedit.h"

namespace qxr {

namespace {

// Editor text is Unicode in the widget and bytes of the language's code page
// in the core. Every line ends with a line feed in the widget, so that an
// editor holding one empty line differs from an empty editor.
QString linesToText(const std::vector<std::string>& lines, int language) {
  std::string utf8;
  for (const std::string& line : lines) {
    utf8 += bytesToUtf8(line, language);
    utf8 += '\n';
  }
  return QString::fromStdString(utf8);
}

std::vector<std::string> textToLines(const QPlainTextEdit* editor, int language) {
  std::vector<std::string> lines;
  const QTextDocument* document = editor->document();
  const int blocks = document->blockCount();
  lines.reserve(static_cast<std::size_t>(blocks));
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    // The block after the last line end is a line only when something was
    // typed into it.
    if (block.blockNumber() == blocks - 1 && block.text().isEmpty()) break;
    lines.push_back(utf8ToBytes(block.text().toStdString(), language));
  }
  return lines;
}

class MainFormPlcPage final : public PlcPage {
 public:
  explicit MainFormPlcPage(TMainForm& form) : form_(form), language_(form.session().language()) {}

  std::vector<std::string> editorLines() const override { return textToLines(form_.PLMMemo, language_); }
  void setEditorLines(std::vector<std::string> lines) override {
    form_.PLMMemo->setPlainText(linesToText(lines, language_));
  }
  void focusEditor() override { form_.PLMMemo->setFocus(); }
  void scrollEditorToEnd() override {
    form_.PLMMemo->moveCursor(QTextCursor::End);
    form_.PLMMemo->ensureCursorVisible();
  }
  void setReceivedLines(std::vector<std::string> lines) override {
    form_.TmpMemo->setPlainText(linesToText(lines, language_));
  }
  void setFileLabel(std::string_view text) override {
    form_.PLMFileNameLabel->setText(QString::fromStdString(displayUtf8(text, language_)));
  }
  void showProgress(std::string_view text, bool alignRight) override {
    form_.Progress->setAlignment((alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    form_.Progress->setText(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
    form_.Progress->show();
  }
  void hideProgress() override { form_.Progress->hide(); }
  int transferDelayMs() const override { return plcTransferDelayInUse(form_.TransDelayValue->Value()); }
  std::string plcFilePath() const override { return form_.plcFilePath; }
  void setPlcFilePath(std::string path) override { form_.plcFilePath = std::move(path); }

 private:
  TMainForm& form_;
  int language_;
};

}  // namespace

void TMainForm::ReadPLMBtnClick() {
  if (!settleUnsavedWork(kPlcPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  fileChoice.fileChosen = false;
  if (!ShowOpenFileWindow()) return;
  MainFormPlcPage page(*this);
  if (PlcOperations(link(), page, plcTables).readFile(fileChoice.currentFilePath)) {
    markSaved(kPlcPage);
    noteRecentFile(kPlcPage, fileChoice.currentFilePath);
  }
}

void TMainForm::WritePLMBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(PLMMemo, kPlcPage, Refused::kSave)) return;
  fileChoice.fileChosen = false;
  if (!ShowSaveFileWindow()) return;
  MainFormPlcPage page(*this);
  if (PlcOperations(link(), page, plcTables).writeFile(fileChoice.currentFilePath)) {
    markSaved(kPlcPage);
    noteRecentFile(kPlcPage, fileChoice.currentFilePath);
  }
}

void TMainForm::PLMTrnBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(PLMMemo, kPlcPage, Refused::kSend)) return;
  MainFormPlcPage page(*this);
  if (journalled("plc send", [&] { return PlcOperations(link(), page, plcTables).send(); })) markSaved(kPlcPage);
}

void TMainForm::PLMRcvBtnClick() {
  if (!settleUnsavedWork(kPlcPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  MainFormPlcPage page(*this);
  if (journalled("plc receive", [&] { return PlcOperations(link(), page, plcTables).receive(); })) markSaved(kPlcPage);
}

}  // namespace qxr
