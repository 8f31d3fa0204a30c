#include "nc/ncfile.h"

#include "base/language.h"
#include "base/textio.h"

namespace qxr {

std::string numberedProgramLine(std::size_t index, std::string_view text) {
  std::string line = "N" + std::to_string(index + 1) + " ";
  line += text;
  return line;
}

std::string programNameRule(std::string_view name, int language) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const auto b = static_cast<unsigned char>(name[i]);
    // A Big5 pair: a lead byte 0x81-0xFE and the byte after it, kept whole.
    const std::size_t width = (languageFromIndex(language) != Language::kEnglish && b >= 0x81 && b <= 0xFE && i + 1 < name.size()) ? 2 : 1;
    if (out.size() + width > kProgramNameLength) break;
    if (width == 1) out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - 'a' + 'A') : static_cast<char>(b);
    else out.append(name.substr(i, 2));
    i += width;
  }
  return out;
}

std::optional<LineProblem> checkProgramForController(const std::vector<std::string>& lines, std::string_view name,
                                                     bool withName) {
  if (withName) {
    if (auto problem = controlByteIn(LineProblem::kNameLine, name)) return problem;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto problem = controlByteIn(i, lines[i])) return problem;
    // "N<i> " + text + CR LF.
    if (auto problem = oversizedFrame(i, numberedProgramLine(i, lines[i]).size() + 2)) return problem;
  }
  return std::nullopt;
}

std::vector<std::string> programFileLines(int number, std::string_view name, bool withName,
                                          const std::vector<std::string>& editorLines) {
  std::vector<std::string> out;
  out.reserve(editorLines.size() + 2);
  out.push_back(std::to_string(number));
  if (withName) out.emplace_back(name);
  for (std::size_t i = 0; i < editorLines.size(); ++i) {
    // An editor line never holds a line feed, but a stray one must not split
    // the file line: what follows it belongs to the same block.
    std::string_view text = editorLines[i];
    if (text.empty()) continue;
    out.push_back(numberedProgramLine(i, cutAt(text, '\n')));
  }
  return out;
}

bool writeProgramFile(const std::string& path, int number, std::string_view name, bool withName,
                      const std::vector<std::string>& editorLines, FileError* error) {
  const FileError result = saveLines(path, programFileLines(number, name, withName, editorLines));
  if (error) *error = result;
  return result == FileError::kNone;
}

void ProgramLineCollector::add(std::string_view fileLine, std::size_t fileLineNumber) {
  const auto blank = fileLine.find(' ');
  if (blank == std::string_view::npos) return;
  // The first character (normally "N") is skipped whatever it is.
  const long long number = blank >= 1 ? leadingInt(fileLine.substr(1, blank - 1)) : 0;
  if (number > previous_ + 1) {
    const long long gap = number - previous_ - 1;
    if (static_cast<long long>(lines_.size()) + gap <= static_cast<long long>(kMaxFilledProgramLines)) {
      lines_.resize(lines_.size() + static_cast<std::size_t>(gap));
    } else {
      if (unfilled_++ == 0) firstUnfilled_ = fileLineNumber;
    }
  }
  lines_.emplace_back(fileLine.substr(blank + 1));
  previous_ = number;
}

namespace {

// Splits bytes into lines: LF ends a line, a CR before it is dropped, as is a
// CR that ends the last line of the file.
class ByteLines {
 public:
  explicit ByteLines(std::string_view bytes) : rest_(bytes) {}
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    const auto lf = rest_.find('\n');
    if (lf == std::string_view::npos) {
      line = rest_;
      rest_ = {};
    } else {
      line = rest_.substr(0, lf);
      rest_.remove_prefix(lf + 1);
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++count_;
    return true;
  }
  std::size_t count() const { return count_; }

 private:
  std::string_view rest_;
  std::size_t count_ = 0;
};

}  // namespace

bool isSkippedFileLine(std::string_view line, bool firstAfterNumber, bool withName) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return true;
  const std::size_t last = line.find_last_not_of(" \t\r");
  if (line.substr(first, last - first + 1) == "%") return true;
  return firstAfterNumber && !withName && line.size() <= kProgramNameLength;
}

ProgramFile parseProgramFile(std::string_view bytes, bool withName) {
  ProgramFile file;
  ByteLines lines(bytes);
  std::string_view line;
  if (!lines.next(line)) {
    file.status = ProgramFileStatus::kNoNumberLine;
    return file;
  }
  file.number = leadingInt(line);
  if (!isValidProgramNumber(file.number)) {
    file.status = ProgramFileStatus::kBadNumber;
    return file;
  }
  if (withName) {
    if (!lines.next(line)) {
      file.status = ProgramFileStatus::kNoNameLine;
      return file;
    }
    if (line.size() > kProgramNameLength) {
      file.status = ProgramFileStatus::kNameTooLong;
      return file;
    }
    file.name = line;
  }
  ProgramLineCollector collector;
  const std::size_t firstProgramLine = lines.count() + 1;
  while (lines.next(line)) {
    if (line.find(' ') == std::string_view::npos &&
        !isSkippedFileLine(line, lines.count() == firstProgramLine, withName)) {
      LineProblem problem;
      problem.kind = LineProblem::kNoBlank;
      problem.line = lines.count() - 1;
      file.status = ProgramFileStatus::kRefused;
      file.problem = problem;
      return file;
    }
    collector.add(line, lines.count());
  }
  if (auto problem = checkProgramBound(collector.lines())) {
    file.status = ProgramFileStatus::kRefused;
    file.problem = problem;
    return file;
  }
  file.status = ProgramFileStatus::kRead;
  file.lines = std::move(collector.lines());
  file.unfilledCount = collector.unfilledCount();
  file.firstUnfilledFileLine = collector.firstUnfilledFileLine();
  return file;
}

ProgramFile readProgramFile(const std::string& path, bool withName) {
  std::string bytes;
  const FileError error = readFileChecked(path, kProgramFileLimit, bytes);
  if (error != FileError::kNone) {
    ProgramFile file;
    file.error = error;
    return file;
  }
  ProgramFile file = parseProgramFile(bytes, withName);
  // FNV-1a: enough to notice that a file was changed between two reads.
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  file.fingerprint = hash;
  return file;
}

}  // namespace qxr
