#include "app/controlparts.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDropEvent>
#include <QLibraryInfo>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTranslator>

#include "app/questions.h"
#include "base/language.h"

namespace qxr {

namespace {

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

QString localFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  return url.isLocalFile() ? url.toLocalFile() : QString();
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

DropReader::DropReader(QObject* parent, std::function<void(int, const QString&)> read,
                       std::function<bool()> busy)
    : QObject(parent), read_(std::move(read)), busy_(std::move(busy)) {}

void DropReader::watch(QPlainTextEdit* editor, int page) {
  editor->setAcceptDrops(true);
  editor->viewport()->setAcceptDrops(true);
  editor->viewport()->installEventFilter(this);
  pages_[editor->viewport()] = page;
}

bool DropReader::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove &&
      event->type() != QEvent::Drop)
    return false;
  auto* drop = static_cast<QDropEvent*>(event);
  const QString path = localFile(drop->mimeData());
  if (path.isEmpty()) return false;  // text is dropped into the editor as usual
  if (busy_()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (event->type() == QEvent::Drop) {
    const int page = pages_.value(watched, -1);
    // After the drop has ended: the read may ask questions.
    QTimer::singleShot(0, parent(), [this, page, path] { read_(page, path); });
  }
  return true;
}

void installToolkitTranslations(int language) {
  static bool installed = false;
  if (installed || languageFromIndex(language) == Language::kEnglish || !qApp) return;
  installed = true;
  auto* translator = new QTranslator(qApp);
  if (translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;
}

void placeBelow(QWidget* below, QWidget* added) {
  QWidget* sheet = below->parentWidget();
  if (QBoxLayout* box = boxHolding(sheet ? sheet->layout() : nullptr, below)) {
    box->insertWidget(box->indexOf(below) + 1, added);
  }
}

}  // namespace qxr
