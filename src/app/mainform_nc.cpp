// The NC program page's operations of the main window: the page's widgets
// behind the core's NcPage, and the handlers that run the core operations.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "base/codec.h"
#include "app/mainform.h"
#include "link/link.h"
#include "app/multiplenc.h"
#include "nc/ncops.h"
#include "nc/nctexts.h"
#include "widgets/radiogroup.h"

namespace qxr {

namespace {

// The program page's widgets as the operations see them. Editor text is
// Unicode in the widget and bytes of the language's code page in the core.
// Every editor line ends with a line feed in the widget, so that an editor
// holding one empty line ("\n") differs from an empty editor ("").
class MainFormNcPage final : public NcPage {
 public:
  explicit MainFormNcPage(TMainForm& form) : form_(form), language_(form.session().language()) {}
  ~MainFormNcPage() override {
    if (progressShown_) form_.setWindowTitle(baseTitle_);
  }
  MainFormNcPage(const MainFormNcPage&) = delete;
  MainFormNcPage& operator=(const MainFormNcPage&) = delete;

  std::vector<std::string> programLines() const override {
    std::vector<std::string> lines;
    const QTextDocument* document = form_.ProgramMemo->document();
    const int blocks = document->blockCount();
    lines.reserve(static_cast<std::size_t>(blocks));
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      // The block after the last line end is a line only when something was
      // typed into it.
      if (block.blockNumber() == blocks - 1 && block.text().isEmpty()) break;
      lines.push_back(bytes(block.text()));
    }
    return lines;
  }

  void setProgramLines(std::vector<std::string> lines) override {
    std::string utf8;
    for (const std::string& line : lines) {
      utf8 += bytesToUtf8(line, language_);
      utf8 += '\n';
    }
    form_.ProgramMemo->setPlainText(QString::fromStdString(utf8));
  }

  void appendProgramLine(std::string_view line) override {
    QTextCursor cursor(form_.ProgramMemo->document());
    cursor.movePosition(QTextCursor::End);
    if (!cursor.block().text().isEmpty()) cursor.insertText(QStringLiteral("\n"));
    cursor.insertText(text(line) + QLatin1Char('\n'));
  }

  int programNumber() const override { return form_.ProgNoEdit->value(); }
  void setProgramNumber(int number) override { form_.ProgNoEdit->setValue(number); }
  std::string programName() const override { return bytes(form_.ProgNameEdit->text()); }
  void setProgramName(std::string_view name) override { form_.ProgNameEdit->setText(text(name)); }
  std::string tmpProgramName() const override { return bytes(form_.TmpProgNameEdit->text()); }
  void setTmpProgramName(std::string_view name) override { form_.TmpProgNameEdit->setText(text(name)); }
  int generation() const override {
    return form_.TypeSel->itemIndex() == kGenerationX00 ? kGenerationX00 : kGenerationX02;
  }

  void setFileLabel(std::string_view label) override {
    form_.FileNameLabel->setText(QString::fromStdString(displayUtf8(label, language_)));
  }
  void clearMessages() override { form_.MsgMemo->clear(); }
  // Painting is suspended rather than the widget hidden, so that the page's
  // layout does not jump while a file fills the editor.
  void setEditorVisible(bool visible) override { form_.ProgramMemo->setUpdatesEnabled(visible); }
  void focusEditor() override { form_.ProgramMemo->setFocus(); }
  void scrollEditorToTop() override {
    form_.ProgramMemo->moveCursor(QTextCursor::Start);
    form_.ProgramMemo->verticalScrollBar()->setValue(0);
  }

  // The window title carries the progress of a transfer; the message box
  // keeps only the specified lines.
  void showProgress(std::string_view progress) override {
    if (!progressShown_) {
      baseTitle_ = form_.windowTitle();
      progressShown_ = true;
    }
    if (progress.empty()) {
      form_.setWindowTitle(baseTitle_);
      return;
    }
    form_.setWindowTitle(baseTitle_ + QStringLiteral(" \u2014 ") + QString::fromStdString(std::string(progress)));
  }

 private:
  std::string bytes(const QString& text) const { return utf8ToBytes(text.toStdString(), language_); }
  QString text(std::string_view bytes) const { return QString::fromStdString(bytesToUtf8(bytes, language_)); }

  TMainForm& form_;
  int language_;
  bool progressShown_ = false;
  QString baseTitle_;
};

}  // namespace

std::vector<std::string> TMainForm::ProgramLines() { return MainFormNcPage(*this).programLines(); }

namespace {

// The program page as it was before a receive, put back when the operator
// stops the receive: a program cut short must not pass for the controller's.
class EditorKeeper {
 public:
  explicit EditorKeeper(TMainForm& form)
      : form_(form),
        text_(form.ProgramMemo->toPlainText()),
        name_(form.ProgNameEdit->text()),
        modified_(form.ProgramMemo->document()->isModified()) {}
  void restore() const {
    form_.ProgramMemo->setPlainText(text_);
    form_.ProgNameEdit->setText(name_);
    form_.ProgramMemo->document()->setModified(modified_);
  }

 private:
  TMainForm& form_;
  QString text_;
  QString name_;
  bool modified_;
};

}  // namespace

void TMainForm::ReadFileBtnClick() {
  if (!settleUnsavedWork(kProgramPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  fileChoice.fileChosen = false;
  if (!ShowOpenFileWindow()) return;
  MainFormNcPage page(*this);
  if (NcOperations(link(), page).readFile(fileChoice.currentFilePath)) {
    markSaved(kProgramPage);
    noteRecentFile(kProgramPage, fileChoice.currentFilePath);
  }
}

void TMainForm::WriteFileBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ProgramMemo, kProgramPage, Refused::kSave)) return;
  fileChoice.fileChosen = false;
  if (!ShowSaveFileWindow()) return;
  MainFormNcPage page(*this);
  if (NcOperations(link(), page).writeFile(fileChoice.currentFilePath)) {
    markSaved(kProgramPage);
    noteRecentFile(kProgramPage, fileChoice.currentFilePath);
  }
}

void TMainForm::TransBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  if (!editorTextFitsCodePage(ProgramMemo, kProgramPage, Refused::kSend)) return;
  MainFormNcPage page(*this);
  if (NcOperations(link(), page).send()) markSaved(kProgramPage);
}

void TMainForm::RcvBtnClick() {
  if (!settleUnsavedWork(kProgramPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  MainFormNcPage page(*this);
  const EditorKeeper kept(*this);
  if (NcOperations(link(), page).receive()) markSaved(kProgramPage);
  else if (stopRequested()) kept.restore();
}

void TMainForm::DelProgBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  MainFormNcPage page(*this);
  NcOperations(link(), page).deleteProgram();
}

void TMainForm::MultipleBtnClick() {
  if (!settleUnsavedWork(kProgramPage)) return;
  OperationGuard guard(*this);
  if (!guard) return;
  MultipleBtn->hide();
  MultipleChoice choice;
  {
    TMultipleNCForm form(session(), fileChoice, session().startDir, this);
    runMultipleForm(form);
    choice = form.choice();
  }
  MainFormNcPage page(*this);
  NcOperations operations(link(), page);
  if (choice.tooManyFiles) {
    link().ShowPageMessage(0, ncText(session().language(), NcText::kTooManyFiles, {}, kBatchFileLimit));
    beep();
    return;
  }
  if (!choice.chosen) return;
  bool done = false;
  if (choice.mode == kBatchReadMany) done = operations.readMany(choice);
  else if (choice.mode == kBatchWriteMany) done = operations.writeMany(choice, session().settings.multipleInquire);
  if (done || editorHoldsBatchFile(choice, page.generation() == kGenerationX02, page.programLines()))
    markSaved(kProgramPage);
}

}  // namespace qxr
