#include "nc/programtext.h"

#include <cstdio>

#include "base/bilingual.h"
#include "base/fileio.h"
#include "base/textio.h"
#include "link/link.h"

namespace qxr {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlankOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlankOrTab(text.back())) text.remove_suffix(1);
  return text;
}

// Splits bytes into lines at LF, CR LF or a lone CR.
class AnyLineEnds {
 public:
  explicit AnyLineEnds(std::string_view bytes) : rest_(bytes) {}
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    const auto end = rest_.find_first_of("\r\n");
    ++count_;
    if (end == std::string_view::npos) {
      line = rest_;
      rest_ = {};
      return true;
    }
    line = rest_.substr(0, end);
    const bool crlf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
    rest_.remove_prefix(end + (crlf ? 2 : 1));
    return true;
  }
  std::size_t count() const { return count_; }

 private:
  std::string_view rest_;
  std::size_t count_ = 0;
};

// The comments of a line (in parentheses; an unclosed one runs to the end
// of the line), what stands outside them, and whether that is only blanks.
struct Comments {
  std::vector<std::string_view> texts;
  std::string outside;
  bool onlyComments = true;
};

Comments commentsOf(std::string_view text) {
  Comments out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '(') {
      const auto close = text.find(')', i + 1);
      const std::size_t end = close == std::string_view::npos ? text.size() : close;
      out.texts.push_back(trimmed(text.substr(i + 1, end - i - 1)));
      i = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      if (!isBlankOrTab(text[i])) out.onlyComments = false;
      out.outside += text[i];
      ++i;
    }
  }
  return out;
}

// A comment the name rule keeps whole (letters aside, which it makes upper
// case) and the controller can take.
std::optional<std::string> nameFromComment(std::string_view comment, int language) {
  if (comment.empty() || findControlByte(comment) != std::string_view::npos) return std::nullopt;
  std::string name = programNameRule(comment, language);
  if (name.size() != comment.size()) return std::nullopt;
  return name;
}

// "O" and digits, then only comments: the program's O-word line. `digits`
// gets the value (clamped), `word` the O-word as written.
bool isOWordLine(std::string_view text, long& value, std::string_view& word) {
  if (text.size() < 2 || (text[0] != 'O' && text[0] != 'o') || !isDigit(text[1])) return false;
  std::size_t end = 1;
  value = 0;
  while (end < text.size() && isDigit(text[end])) {
    if (value < 1000000) value = value * 10 + (text[end] - '0');
    ++end;
  }
  if (!commentsOf(text.substr(end)).onlyComments) return false;
  word = text.substr(0, end);
  return true;
}

// The block without its leading N-word ("N10 G90" -> "G90"); `dropped` tells
// whether there was one.
std::string_view withoutNWord(std::string_view block, bool& dropped) {
  dropped = block.size() >= 2 && (block[0] == 'N' || block[0] == 'n') && isDigit(block[1]);
  if (!dropped) return block;
  std::size_t i = 1;
  while (i < block.size() && isDigit(block[i])) ++i;
  while (i < block.size() && isBlankOrTab(block[i])) ++i;
  return block.substr(i);
}

// The first problem of an editor line as it goes to the controller, `fileLine`
// 0-based: a control byte, or a frame too long. Bytes outside the code page
// go through as they came, as they do from a numbered file.
std::optional<LineProblem> lineProblem(std::size_t fileLine, std::size_t editorIndex, std::string_view line) {
  if (auto problem = controlByteIn(fileLine, line)) return problem;
  return oversizedFrame(fileLine, numberedProgramLine(editorIndex, line).size() + 2);
}

std::uint64_t fingerprintOf(std::string_view bytes) {
  // FNV-1a, as the numbered reader keeps it: enough to notice a change.
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

ProgramText parsePlain(std::string_view bytes, bool withName, int language, const GivenProgramHeader& given) {
  ProgramText text;
  text.kind = ProgramTextKind::kPlain;
  std::vector<std::string>& lines = text.file.lines;
  std::optional<long> oValue;
  std::optional<std::string> commentName;
  bool begun = false;      // the O-word line or a block was seen
  bool inHeader = true;    // before the first block
  bool ended = false;      // after the closing tape mark
  std::size_t keptEnd = 0;  // editor lines up to the last non-empty one
  AnyLineEnds reader(bytes);
  std::string_view raw;
  while (reader.next(raw)) {
    const std::size_t fileLine = reader.count();
    const std::string_view line = trimmed(raw);
    if (!line.empty() && line.front() == '%') {
      ++text.tapeMarks;
      // A mark after the program's first block closes the program.
      if (!inHeader) ended = true;
      continue;
    }
    if (ended) {
      if (!line.empty()) ++text.linesAfterEnd;
      continue;
    }
    if (line.empty()) {
      if (begun) {
        lines.emplace_back();
        text.fileLines.push_back(fileLine);
      }
      continue;
    }
    long value = 0;
    std::string_view word;
    if (inHeader && text.oWord.empty() && isOWordLine(line, value, word)) {
      text.oWord = word;
      if (isValidProgramNumber(static_cast<int>(value))) oValue = value;
      for (std::string_view comment : commentsOf(line.substr(word.size())).texts) {
        if (!commentName) commentName = nameFromComment(comment, language);
      }
      begun = true;
      continue;
    }
    bool dropped = false;
    const std::string_view block = trimmed(withoutNWord(line, dropped));
    text.nWords += dropped;
    const Comments comments = commentsOf(block);
    if (inHeader && comments.onlyComments) {
      for (std::string_view comment : comments.texts) {
        if (!commentName) commentName = nameFromComment(comment, language);
      }
    } else {
      inHeader = false;
    }
    lines.emplace_back(block);
    text.fileLines.push_back(fileLine);
    keptEnd = lines.size();
    begun = true;
  }
  lines.resize(keptEnd);
  text.fileLines.resize(keptEnd);

  text.file.status = ProgramFileStatus::kBadNumber;
  if (lines.size() > kProgramLineLimit) {
    text.refusal = PlainRefusal::kTooManyLines;
    return text;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text.problem = lineProblem(text.fileLines[i] - 1, i, lines[i]);
    if (text.problem) {
      text.refusal = PlainRefusal::kLine;
      return text;
    }
  }
  if (given.number != 0) {
    text.file.number = given.number;
    text.numberGiven = true;
  } else if (oValue) {
    text.file.number = static_cast<int>(*oValue);
  } else {
    text.refusal = PlainRefusal::kNoNumber;
    return text;
  }
  if (withName && given.name) {
    text.file.name = programNameRule(*given.name, language);
    text.nameGiven = true;
  } else if (withName && commentName) {
    text.file.name = *commentName;
    text.nameFromComment = true;
  }
  text.file.status = ProgramFileStatus::kRead;
  return text;
}

}  // namespace

ProgramTextKind recogniseProgramText(std::string_view bytes) {
  // An empty file stays the numbered format's, which says it has no number line.
  if (bytes.empty()) return ProgramTextKind::kNumbered;
  std::size_t i = 0;
  while (i < bytes.size() && isBlankOrTab(bytes[i])) ++i;
  if (i + 1 < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) ++i;
  return i < bytes.size() && isDigit(bytes[i]) ? ProgramTextKind::kNumbered : ProgramTextKind::kPlain;
}

ProgramText parseProgramText(std::string_view bytes, bool withName, int language, const GivenProgramHeader& given) {
  // A DOS end-of-file mark and the byte order mark some editors put first
  // are no part of the text.
  if (!bytes.empty() && bytes.back() == '\x1A') bytes.remove_suffix(1);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  ProgramText text;
  if (recogniseProgramText(bytes) == ProgramTextKind::kPlain) {
    text = parsePlain(bytes, withName, language, given);
  } else {
    text.file = parseProgramFile(bytes, withName);
    if (text.file.status == ProgramFileStatus::kRead) {
      if (given.number != 0) text.file.number = given.number;
      if (withName && given.name) text.file.name = programNameRule(*given.name, language);
    }
  }
  return text;
}

ProgramText readProgramText(const std::string& path, bool withName, int language, const GivenProgramHeader& given) {
  std::string bytes;
  const FileError error = readFileChecked(path, kProgramFileLimit, bytes);
  if (error != FileError::kNone) {
    ProgramText text;
    text.file.error = error;
    return text;
  }
  ProgramText text = parseProgramText(bytes, withName, language, given);
  text.file.fingerprint = fingerprintOf(bytes);
  return text;
}

namespace {

constexpr TextPair kPlainRead = {"Plain NC program: ", "一般 NC 程式: "};
constexpr TextPair kNumberFromOWord = {"number %d from %s", "程式編號 %d 取自 %s"};
constexpr TextPair kNumberGiven = {"number %d as given", "程式編號 %d (指定)"};
constexpr TextPair kNameFromComment = {", name %s", ", 程式名稱 %s"};
constexpr TextPair kNameGiven = {", name %s as given", ", 程式名稱 %s (指定)"};
constexpr TextPair kNoName = {", no name", ", 無程式名稱"};
constexpr TextPair kDropped = {", %d tape marks and %d N-words dropped", ", 略去 %d 個紙帶符號與 %d 個 N 序號"};
constexpr TextPair kAfterEnd = {", %d lines after the closing tape mark left out",
                                ", 結束紙帶符號之後的 %d 行未讀取"};
constexpr TextPair kNoNumber = {
    "The plain NC program has no O-word with a program number from 1 to 99%s: give it a number",
    "此一般 NC 程式沒有 1 至 99 的 O 程式編號%s: 請指定程式編號"};
constexpr TextPair kOutOfRange = {" (%s is outside that range)", " (%s 超出範圍)"};
constexpr TextPair kTooMany = {"The plain NC program has %d lines; the controller takes at most %d: the file was not read",
                               "此一般 NC 程式有 %d 行, 控制器最多接受 %d 行: 檔案未讀取"};

}  // namespace

std::string programTextSummary(int language, const ProgramText& text) {
  if (!text.plain() || text.refused()) return {};
  std::string out = fillText(language, kPlainRead, {}, {});
  if (text.numberGiven) out += fillText(language, kNumberGiven, {}, {text.file.number});
  else out += fillText(language, kNumberFromOWord, text.oWord, {text.file.number});
  if (text.nameGiven) out += fillText(language, kNameGiven, text.file.name, {});
  else if (text.nameFromComment) out += fillText(language, kNameFromComment, text.file.name, {});
  else out += fillText(language, kNoName, {}, {});
  out += fillText(language, kDropped, {}, {static_cast<long>(text.tapeMarks), static_cast<long>(text.nWords)});
  if (text.linesAfterEnd) out += fillText(language, kAfterEnd, {}, {static_cast<long>(text.linesAfterEnd)});
  return out;
}

std::string programTextRefusal(int language, const ProgramText& text) {
  switch (text.refusal) {
    case PlainRefusal::kNone:
      return {};
    case PlainRefusal::kNoNumber:
      return fillText(language, kNoNumber,
                      text.oWord.empty() ? std::string() : fillText(language, kOutOfRange, text.oWord, {}), {});
    case PlainRefusal::kTooManyLines:
      return fillText(language, kTooMany, {},
                      {static_cast<long>(text.file.lines.size()), static_cast<long>(kProgramLineLimit)});
    case PlainRefusal::kLine: {
      // The problem's text names "Line n" ("第 n 行"); n is the file's line here.
      const std::string said = lineProblemText(language, *text.problem, Refused::kOpen);
      return language == 1 ? "File line" + said.substr(std::string_view("Line").size()) : "檔案" + said;
    }
  }
  return {};
}

bool announceProgramText(Link& link, const ProgramText& text, bool beep) {
  if (!text.plain()) return true;
  const int language = link.session().language();
  if (text.refused()) {
    link.ShowPageMessage(0, programTextRefusal(language, text));
    if (beep) link.beep();
    return false;
  }
  if (text.file.status == ProgramFileStatus::kRead) link.ShowPageMessage(0, programTextSummary(language, text));
  return true;
}

std::string plainProgramText(int number, std::string_view name, const std::vector<std::string>& lines) {
  std::string out = "%\r\n";
  char word[16];
  std::snprintf(word, sizeof word, "O%04d", number);
  out += word;
  // A name holding a parenthesis would end its comment early; it is left out.
  if (!name.empty() && name.find_first_of("()") == std::string_view::npos) {
    out += " (";
    out += name;
    out += ")";
  }
  out += "\r\n";
  for (const std::string& line : lines) {
    out += cutAt(line, '\n');
    out += "\r\n";
  }
  out += "%\r\n";
  return out;
}

bool writePlainProgramFile(const std::string& path, int number, std::string_view name,
                           const std::vector<std::string>& lines, FileError* error) {
  const FileError result = saveFile(path, plainProgramText(number, name, lines));
  if (error) *error = result;
  return result == FileError::kNone;
}

std::string withoutComments(std::string_view block) {
  return std::string(trimmed(commentsOf(block).outside));
}

}  // namespace qxr
