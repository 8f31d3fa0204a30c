#include "base/linecheck.h"

#include <cstdio>

#include "base/codec.h"
#include "base/language.h"

namespace qxr {

bool isControlByte(unsigned char byte) { return (byte < 0x20 && byte != '\t') || byte == 0x7F; }

std::size_t findControlByte(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (isControlByte(static_cast<unsigned char>(text[i]))) return i;
  return std::string_view::npos;
}

std::optional<LineProblem> controlByteIn(std::size_t line, std::string_view text) {
  const std::size_t at = findControlByte(text);
  if (at == std::string_view::npos) return std::nullopt;
  LineProblem problem;
  problem.kind = LineProblem::kControlByte;
  problem.line = line;
  problem.column = at;
  problem.byte = static_cast<unsigned char>(text[at]);
  return problem;
}

std::optional<LineProblem> firstControlByteLine(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (auto problem = controlByteIn(i, lines[i])) return problem;
  return std::nullopt;
}

std::optional<LineProblem> oversizedFrame(std::size_t line, std::size_t frameLength) {
  if (frameLength + 1 <= kControllerLineBuffer) return std::nullopt;
  LineProblem problem;
  problem.kind = LineProblem::kTooLong;
  problem.line = line;
  problem.length = frameLength;
  problem.limit = kControllerLineBuffer - 1;
  return problem;
}

namespace {

// The frame of editor line `index` (0-based) holding `textLength` bytes:
// "N" + the line number + " " + text + CR LF.
std::size_t programFrameLength(std::size_t index, std::size_t textLength) {
  return 1 + std::to_string(index + 1).size() + 1 + textLength + 2;
}

std::optional<LineProblem> tooManyLines(std::size_t count) {
  if (count <= kMaxProgramLines) return std::nullopt;
  LineProblem problem;
  problem.kind = LineProblem::kTooManyLines;
  problem.line = kMaxProgramLines;
  problem.length = count;
  problem.limit = kMaxProgramLines;
  return problem;
}

}  // namespace

std::optional<LineProblem> checkProgramBound(const std::vector<std::string>& lines) {
  if (auto problem = tooManyLines(lines.size())) return problem;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (auto problem = oversizedFrame(i, programFrameLength(i, lines[i].size()))) return problem;
  return std::nullopt;
}

std::optional<LineProblem> checkProgramTextBound(std::string_view text, std::size_t firstLine,
                                                 std::size_t linesAfter) {
  std::optional<LineProblem> tooLong;
  std::size_t index = firstLine;
  for (std::size_t at = 0; at <= text.size(); ++index) {
    std::size_t end = text.find('\n', at);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    std::size_t length = end - at;
    if (!last && length > 0 && text[end - 1] == '\r') --length;
    // Text after the last line end is a line only when it holds something.
    if (last && length == 0) break;
    if (!tooLong) tooLong = oversizedFrame(index, programFrameLength(index, length));
    at = end + 1;
  }
  if (auto problem = tooManyLines(index + linesAfter)) return problem;
  return tooLong;
}

namespace {

std::string format(const char* pattern, const std::string& where, const std::string& a = {},
                   const std::string& b = {}) {
  std::string out;
  int slot = 0;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += slot == 0 ? where : slot == 1 ? a : b;
      ++slot;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string where(int language, std::size_t line) {
  const bool english = languageFromIndex(language) == Language::kEnglish;
  if (line == LineProblem::kNameLine) return english ? "The program name" : "程式名稱";
  return (english ? "Line " : "第 ") + std::to_string(line + 1) + (english ? "" : " 行");
}

std::string byteName(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

}  // namespace

std::string lineProblemText(int language, const LineProblem& problem, Refused refused) {
  const bool english = languageFromIndex(language) == Language::kEnglish;
  const std::string at = where(language, problem.line);
  std::string text;
  switch (problem.kind) {
    case LineProblem::kTooManyLines:
      text = format(english ? "The program has %s lines, at most %s" : "程式共有 %s 行, 最多 %s 行",
                    std::to_string(problem.length), std::to_string(problem.limit));
      break;
    case LineProblem::kBadForm:
      text = format(english ? "%s is not of the form %s" : "%s的格式不是 %s", at, problem.text);
      break;
    case LineProblem::kNoBlank:
      text = format(english ? "%s of the file has no blank after its line number (\"N<number> <text>\")"
                            : "檔案%s在行號之後沒有空白 (\"N<行號> <內容>\")",
                    english ? "Line " + std::to_string(problem.line + 1) : "第 " + std::to_string(problem.line + 1) + " 行");
      break;
    case LineProblem::kControlByte:
      text = format(english ? "%s holds the control byte %s at column %s, which the controller would misread"
                            : "%s在第 %s 欄含有控制字元 %s, 控制器會誤讀",
                    at, english ? byteName(problem.byte) : std::to_string(problem.column + 1),
                    english ? std::to_string(problem.column + 1) : byteName(problem.byte));
      break;
    case LineProblem::kTooLong:
      text = format(english ? "%s is too long for the controller (%s bytes, at most %s)"
                            : "%s對控制器而言太長 (%s 位元組, 最多 %s)",
                    at, std::to_string(problem.length), std::to_string(problem.limit));
      break;
    case LineProblem::kValueOutOfRange:
      text = format(english ? "%s: the value %s is outside the controller's range (-2147483648 to 2147483647)"
                            : "%s: 數值 %s 超出控制器的範圍 (-2147483648 至 2147483647)",
                    at, problem.text);
      break;
    case LineProblem::kNotInCodePage:
      text = format(english ? "%s: the character \"%s\" has no place in the code page %s"
                            : "%s: 字元「%s」無法以 %s 字碼表示",
                    at, problem.text, codePageName(language));
      break;
  }
  switch (refused) {
    case Refused::kSend: text += english ? ": nothing was sent" : ": 未傳送任何資料"; break;
    case Refused::kSave: text += english ? ": the file was not written" : ": 檔案未寫入"; break;
    case Refused::kSimulate: text += english ? ": the simulation was not started" : ": 未開始模擬"; break;
    case Refused::kOpen: text += english ? ": the file was not read" : ": 未讀取檔案"; break;
    case Refused::kPaste: text += english ? ": nothing was pasted" : ": 未貼上任何內容"; break;
  }
  return text;
}

std::string unencodableTypedText(int language, std::size_t line, std::string_view character) {
  const bool english = languageFromIndex(language) == Language::kEnglish;
  return format(english ? "%s: the character \"%s\" has no place in the code page %s; it stays in the editor, "
                          "but the text is neither saved nor sent until it is changed"
                        : "%s: 字元「%s」無法以 %s 字碼表示; 它保留在編輯區, 但修改之前無法儲存或傳送",
                where(language, line), std::string(character), codePageName(language));
}

}  // namespace qxr
