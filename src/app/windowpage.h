#pragma once
// What the three pages of the main window share: the window they live in
// (PageHost), one operation at a time (OperationGuard), the page base with
// its editor, message box and file label (TWindowPage), and the helpers that
// build and watch their widgets.
#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/filechoice.h"
#include "base/linecheck.h"
#include "base/session.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace qxr {

class Link;
class LinkHost;
class NcOperations;

// What a page needs of the window that holds it.
class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual Session& session() = 0;
  virtual Link& link() = 0;
  virtual LinkHost& linkHost() = 0;
  // Starts an operation: false, with a beep, while another one runs.
  virtual bool tryBeginOperation() = 0;
  virtual void finishOperation() = 0;
  // The system's own file windows for the current page; true when the
  // operator chose a file, whose path is then in fileChoice().currentFilePath.
  virtual FileChoice& fileChoice() = 0;
  virtual bool ShowOpenFileWindow() = 0;
  virtual bool ShowSaveFileWindow() = 0;
  // Unsaved work and recent files of a page (see TMainForm).
  virtual bool settleUnsavedWork(int page) = 0;
  virtual void markSaved(int page) = 0;
  virtual void noteRecentFile(int page, const std::string& path) = 0;
  // Runs one transfer and records it in the journal.
  virtual bool journalled(const char* operation, const std::function<bool()>& transfer) = 0;
  // Records each program of `batch` in the journal as it ends.
  virtual void journalEachProgram(NcOperations& batch, const char* operation) = 0;
  // The window title carries the progress of a long transfer; empty: gone.
  virtual void showTitleProgress(const QString& progress) = 0;
};

// Held for the length of a page's handler: the operation runs only when
// no other one does.
class OperationGuard {
 public:
  explicit OperationGuard(PageHost& host) : host_(host), acquired_(host.tryBeginOperation()) {}
  ~OperationGuard() {
    if (acquired_) host_.finishOperation();
  }
  OperationGuard(const OperationGuard&) = delete;
  OperationGuard& operator=(const OperationGuard&) = delete;
  explicit operator bool() const { return acquired_; }

 private:
  PageHost& host_;
  bool acquired_;
};

// A page of the main window: its own widgets, with an editor, a message box
// and a file label that the window's control (Stop, recent files, drops,
// unsaved work) works with.
class TWindowPage : public QWidget {
  Q_OBJECT
 public:
  TWindowPage(PageHost& host, int index, const char* objectName);

  int index() const { return index_; }
  virtual QPlainTextEdit* editor() const = 0;
  virtual QPlainTextEdit* messageBox() const = 0;
  virtual QLabel* fileLabel() const = 0;
  // The catalogue number of the page's tab caption.
  virtual int tabCaption() const = 0;
  // The page's file read and write (its buttons, Ctrl+O and Ctrl+S, drops,
  // recent files, the unsaved-work question).
  virtual void readFileClick() = 0;
  virtual void writeFileClick() = 0;

  // Before the editor's text is saved, sent or simulated: false, with the
  // first character the code page cannot hold selected and named in the
  // message box, when the text would not survive the conversion to bytes.
  bool editorTextFitsCodePage(Refused refused);

  // A page's file read and write: the question about unsaved edits (read),
  // one operation at a time, the code page (write), the file window, then
  // `operation` on the chosen path; a success marks the editor saved and
  // the file recent.
  using FileOperation = std::function<bool(const std::string& path)>;
  void readFileWith(const FileOperation& operation);
  void writeFileWith(const FileOperation& operation);

 protected:
  int language() const { return host_.session().language(); }
  std::string bytes(const QString& text) const;
  QString text(std::string_view bytes) const;
  // The catalogue's text, or the layout's own when there is no catalogue.
  struct Caption {
    int message;
    QObject* control;
    const char* standIn;
  };
  void applyCaptions(std::initializer_list<Caption> captions);
  // Says at once when typed or pasted text holds a character the code page
  // cannot hold; the text stays as typed.
  void watchCodePage(QPlainTextEdit* editor);

  PageHost& host_;

 private:
  int index_;
};

// An editor that may refuse text pasted or dropped into it, whole, before a
// line of it is laid out.
class TGuardedEditor : public QPlainTextEdit {
 public:
  using Guard = std::function<bool(const QString& text)>;
  explicit TGuardedEditor(QWidget* parent) : QPlainTextEdit(parent) {}
  void setInsertGuard(Guard guard) { guard_ = std::move(guard); }

 protected:
  void insertFromMimeData(const QMimeData* source) override;

 private:
  Guard guard_;
};

// Widgets of the pages.
QFont editorFont(int language);
QPlainTextEdit* makeEditor(QWidget* parent, const char* name, const QFont& font);
QPlainTextEdit* makeMessageBox(QWidget* parent, const char* name);
QPushButton* makeButton(QWidget* parent, const char* name);
QLabel* makeLabel(QWidget* parent, const char* name);
// A label showing a path: long paths are clipped instead of widening the window.
QLabel* makeFileLabel(QWidget* parent, const char* name);
// The disabled column of line labels N0001.. beside `editor`; it follows the
// editor's first visible line, whatever moved it.
QPlainTextEdit* makeLineColumn(QWidget* parent, const char* name, const QFont& font, QPlainTextEdit* editor,
                               int labels);
void alignLineColumn(QPlainTextEdit* editor, QPlainTextEdit* column);
// Typed lower-case letters become upper case in `editor`; pasted text is left alone.
void typeUpperCase(QPlainTextEdit* editor);

// Editor text is Unicode in the widget and bytes of the language's code page
// in the core. Every line ends with a line feed in the widget, so that an
// editor holding one empty line ("\n") differs from an empty editor ("").
std::vector<std::string> editorLines(const QPlainTextEdit* editor, int language);
QString editorText(const std::vector<std::string>& lines, int language);
// A page line of catalogue text (UTF-8) and bytes of the code page.
QString mixedLineText(std::string_view line, int language);
// A key that types a character (no Ctrl, Alt or Meta).
bool isTypingKey(const class QKeyEvent* key);

}  // namespace qxr
