#include "app/windowpage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "base/codec.h"
#include "base/host.h"
#include "link/link.h"

namespace qxr {

namespace {

QString lineLabels(int count) {
  QString text;
  text.reserve(count * 6);
  for (int n = 1; n <= count; ++n) {
    if (n > 1) text += '\n';
    text += QStringLiteral("N%1").arg(n, 4, 10, QLatin1Char('0'));
  }
  // Blank lines below the last label let the column scroll as far as its
  // editor, whose view is shorter by its horizontal scroll bar.
  return text + QString(4, QLatin1Char('\n'));
}

class UpperCaseTyping : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isTypingKey(key) || key->text().size() != 1) return false;
    const QChar c = key->text()[0];
    if (c < 'a' || c > 'z') return false;
    QKeyEvent upper(QEvent::KeyPress, key->key(), key->modifiers(), QString(c.toUpper()), key->isAutoRepeat(),
                    static_cast<ushort>(key->count()));
    QApplication::sendEvent(watched, &upper);
    return true;
  }
};

}  // namespace

TWindowPage::TWindowPage(PageHost& host, int index, const char* objectName) : host_(host), index_(index) {
  setObjectName(objectName);
}

std::string TWindowPage::bytes(const QString& text) const {
  return utf8ToBytes(text.toStdString(), language());
}

QString TWindowPage::text(std::string_view bytes) const {
  return QString::fromStdString(bytesToUtf8(bytes, language()));
}

void TWindowPage::applyCaptions(std::initializer_list<Caption> captions) {
  // Without a catalogue every caption would be empty and the window
  // unusable; the layout's own captions then stay.
  const Session& session = host_.session();
  const bool haveCatalogue = session.catalogue.count() > 0;
  for (const Caption& c : captions) {
    const QString text =
        haveCatalogue ? QString::fromStdString(session.msg(c.message)) : QString::fromUtf8(c.standIn);
    if (auto* label = qobject_cast<QLabel*>(c.control))
      label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(c.control))
      button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(c.control))
      group->setTitle(text);
  }
}

bool TWindowPage::editorTextFitsCodePage(Refused refused) {
  QPlainTextEdit* box = editor();
  for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
    const std::string utf8 = block.text().toStdString();
    const std::size_t at = findUnencodable(utf8, language());
    if (at == std::string::npos) continue;
    LineProblem problem;
    problem.kind = LineProblem::kNotInCodePage;
    problem.line = static_cast<std::size_t>(block.blockNumber());
    problem.text = utf8.substr(at, utf8CharLength(utf8, at));
    host_.linkHost().appendPageLine(index_, lineProblemText(language(), problem, refused));
    host_.linkHost().beep();
    // Shown selected, so that the operator sees what to change.
    const int start = block.position() + static_cast<int>(QString::fromStdString(utf8.substr(0, at)).size());
    QTextCursor cursor(box->document());
    cursor.setPosition(start);
    cursor.setPosition(start + static_cast<int>(QString::fromStdString(problem.text).size()),
                       QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
    box->ensureCursorVisible();
    return false;
  }
  return true;
}

void TWindowPage::readFileWith(const FileOperation& operation) {
  if (!host_.settleUnsavedWork(index_)) return;
  OperationGuard guard(host_);
  if (!guard || !host_.ShowOpenFileWindow()) return;
  const std::string path = host_.fileChoice().currentFilePath;
  if (operation(path)) {
    host_.markSaved(index_);
    host_.noteRecentFile(index_, path);
  }
}

void TWindowPage::writeFileWith(const FileOperation& operation) {
  OperationGuard guard(host_);
  if (!guard || !editorTextFitsCodePage(Refused::kSave) || !host_.ShowSaveFileWindow()) return;
  const std::string path = host_.fileChoice().currentFilePath;
  if (operation(path)) {
    host_.markSaved(index_);
    host_.noteRecentFile(index_, path);
  }
}

void TWindowPage::watchCodePage(QPlainTextEdit* watched) {
  QTextDocument* document = watched->document();
  connect(document, &QTextDocument::contentsChange, this, [this, document](int position, int, int added) {
    if (added <= 0) return;
    QTextCursor cursor(document);
    cursor.setPosition(position);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, added);
    // Line ends come as paragraph separators; they are no characters of the text.
    QString typed = cursor.selectedText();
    typed.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::string utf8 = typed.toStdString();
    const std::size_t at = findUnencodable(utf8, language());
    if (at == std::string::npos) return;
    const int offset = static_cast<int>(QString::fromStdString(utf8.substr(0, at)).size());
    const QTextBlock block = document->findBlock(position + offset);
    host_.linkHost().appendPageLine(
        index_, unencodableTypedText(language(), static_cast<std::size_t>(block.blockNumber()),
                                     utf8.substr(at, utf8CharLength(utf8, at))));
    host_.linkHost().beep();
  });
}

// --- widgets ---

// The editors' fixed-pitch font. Chinese text needs a font that has its
// characters itself: a fallback font for them makes those lines taller, and
// the line labels beside the editor would drift from the lines.
QFont editorFont(int language) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (languageFromIndex(language) != Language::kEnglish) {
    const QStringList installed = QFontDatabase::families();
    for (const char* family : {"WenQuanYi Micro Hei Mono", "Noto Sans Mono CJK TC", "Noto Sans Mono CJK SC",
                               "Sarasa Mono TC", "AR PL UMing TW"}) {
      if (installed.contains(QString::fromLatin1(family))) {
        font = QFont(QString::fromLatin1(family));
        font.setStyleHint(QFont::TypeWriter);
        break;
      }
    }
  }
  font.setPixelSize(14);
  return font;
}

void TGuardedEditor::insertFromMimeData(const QMimeData* source) {
  if (guard_ && source->hasText() && !guard_(source->text())) return;
  QPlainTextEdit::insertFromMimeData(source);
}

QPlainTextEdit* makeEditor(QWidget* parent, const char* name, const QFont& font) {
  auto* editor = new TGuardedEditor(parent);
  editor->setObjectName(name);
  editor->setFont(font);
  editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  editor->setWordWrapMode(QTextOption::NoWrap);
  editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return editor;
}

QPlainTextEdit* makeMessageBox(QWidget* parent, const char* name) {
  auto* box = new QPlainTextEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  // Long messages wrap instead of running out of sight.
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return box;
}

QPlainTextEdit* makeLineColumn(QWidget* parent, const char* name, const QFont& font, QPlainTextEdit* editor,
                               int labels) {
  auto* column = new QPlainTextEdit(parent);
  column->setObjectName(name);
  column->setFont(font);
  column->setReadOnly(true);
  column->setEnabled(false);
  column->setLineWrapMode(QPlainTextEdit::NoWrap);
  column->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  column->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  column->setFocusPolicy(Qt::NoFocus);
  column->setFixedWidth(QFontMetrics(font).horizontalAdvance("N00000") + 14);
  column->setPlainText(lineLabels(labels));
  // The editor scrolls its scroll bar without a signal when a key, a paste
  // or a file moves it, but every scroll of its view asks for an update.
  QObject::connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, column,
                   [editor, column] { alignLineColumn(editor, column); });
  QObject::connect(editor, &QPlainTextEdit::updateRequest, column,
                   [editor, column] { alignLineColumn(editor, column); });
  alignLineColumn(editor, column);
  return column;
}

// Without word wrap the editor's scroll position is its first visible line.
void alignLineColumn(QPlainTextEdit* editor, QPlainTextEdit* column) {
  QScrollBar* bar = column->verticalScrollBar();
  const int line = editor->verticalScrollBar()->value();
  if (bar->value() != line) bar->setValue(line);
}

QPushButton* makeButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  button->setMinimumHeight(30);
  return button;
}

QLabel* makeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  return label;
}

QLabel* makeFileLabel(QWidget* parent, const char* name) {
  QLabel* label = makeLabel(parent, name);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

void typeUpperCase(QPlainTextEdit* editor) {
  editor->installEventFilter(new UpperCaseTyping(editor));
}

std::vector<std::string> editorLines(const QPlainTextEdit* editor, int language) {
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

QString editorText(const std::vector<std::string>& lines, int language) {
  std::string utf8;
  for (const std::string& line : lines) {
    utf8 += bytesToUtf8(line, language);
    utf8 += '\n';
  }
  return QString::fromStdString(utf8);
}

QString mixedLineText(std::string_view line, int language) {
  return QString::fromStdString(displayUtf8(line, language));
}

bool isTypingKey(const QKeyEvent* key) {
  return !key->text().isEmpty() && key->text()[0].isPrint() &&
         !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

}  // namespace qxr
