#pragma once
// The parameter editor's text as lines of bytes in the operator's code page.
#include <string>
#include <string_view>
#include <vector>

class QPlainTextEdit;

namespace qxr {

// An empty editor has no lines; a line end after the last line does not
// start another one.
std::vector<std::string> memoLines(const QPlainTextEdit& memo, int language);

// Shows `lines`; an empty last line is kept by one more line end, so that
// memoLines gives back exactly `lines`.
void setMemoLines(QPlainTextEdit& memo, const std::vector<std::string>& lines, int language);

// Adds one line after the last, without converting the whole text.
void appendMemoLine(QPlainTextEdit& memo, std::string_view line, int language);

}  // namespace qxr
