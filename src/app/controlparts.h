#pragma once
// Small parts of the main window's control: the questions' test hook,
// dropped files, the toolkit's own translations, and placing the strips the
// control adds to the pages.
#include <QHash>
#include <QObject>
#include <functional>

class QPlainTextEdit;
class QWidget;

namespace qxr {

// Reads a file dropped on an editor as the page's read button does. While
// `busy` holds, a dragged file is refused (the pointer shows that it cannot
// be dropped) instead of being taken and forgotten.
class DropReader : public QObject {
 public:
  DropReader(QObject* parent, std::function<void(int page, const QString& path)> read,
             std::function<bool()> busy);
  // Drops arrive at the editor's viewport.
  void watch(QPlainTextEdit* editor, int page);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(int, const QString&)> read_;
  std::function<bool()> busy_;
  QHash<QObject*, int> pages_;
};

// The toolkit's own texts (standard buttons, its dialogs) in the operator's
// language, from the translations the system ships; once per program.
void installToolkitTranslations(int language);

// Puts `added` right below `below` in the layout that holds it.
void placeBelow(QWidget* below, QWidget* added);

}  // namespace qxr
