#include "app/parammemo.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "base/codec.h"

namespace qxr {

std::vector<std::string> memoLines(const QPlainTextEdit& memo, int language) {
  // Line by line from the blocks: the document's plain text would turn a
  // no-break space (Latin-1 0xA0) into a blank.
  std::vector<std::string> lines;
  const QTextDocument* document = memo.document();
  const int blocks = document->blockCount();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    if (block.blockNumber() == blocks - 1 && block.text().isEmpty()) break;
    lines.push_back(utf8ToBytes(block.text().toStdString(), language));
  }
  return lines;
}

void setMemoLines(QPlainTextEdit& memo, const std::vector<std::string>& lines, int language) {
  std::string bytes;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) bytes += '\n';
    bytes += lines[i];
  }
  if (!lines.empty() && lines.back().empty()) bytes += '\n';
  memo.setPlainText(QString::fromStdString(bytesToUtf8(bytes, language)));
}

void appendMemoLine(QPlainTextEdit& memo, std::string_view line, int language) {
  QString text = QString::fromStdString(bytesToUtf8(line, language));
  // The last block is empty when the editor is empty or its text ends with a
  // line end; otherwise the new line needs one before it.
  if (!memo.document()->lastBlock().text().isEmpty()) text.prepend(QLatin1Char('\n'));
  if (line.empty()) text.append(QLatin1Char('\n'));
  QTextCursor cursor(memo.document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
}

}  // namespace qxr
