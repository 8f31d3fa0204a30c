#include "params/parammemo.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "base/codec.h"

namespace qxr {

std::vector<std::string> memoLines(const QPlainTextEdit& memo, int language) {
  const std::string bytes = utf8ToBytes(memo.toPlainText().toStdString(), language);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const auto end = bytes.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
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
