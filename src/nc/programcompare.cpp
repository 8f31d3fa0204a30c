#include "nc/programcompare.h"

#include <algorithm>
#include <cstdint>

#include "base/bilingual.h"
#include "base/host.h"
#include "base/session.h"
#include "link/link.h"
#include "nc/ncops.h"
#include "nc/ncpage.h"
#include "nc/programtext.h"
#include "base/textio.h"

namespace qxr {

namespace {

// Above this many cells the part that differs is not searched for common
// lines (the table would take too much memory and time).
constexpr std::size_t kAlignCells = 4u << 20;

}  // namespace

std::vector<AlignedRow> alignLines(const std::vector<std::string>& first, const std::vector<std::string>& second) {
  std::vector<AlignedRow> rows;
  const std::size_t n = first.size(), m = second.size();
  std::size_t head = 0;
  while (head < n && head < m && first[head] == second[head]) ++head;
  std::size_t tail = 0;
  while (tail < n - head && tail < m - head && first[n - 1 - tail] == second[m - 1 - tail]) ++tail;
  for (std::size_t i = 0; i < head; ++i) rows.push_back({long(i), long(i)});
  const std::size_t a = n - head - tail, b = m - head - tail;
  if (a != 0 && b != 0 && (a + 1) * (b + 1) <= kAlignCells) {
    // The longest common subsequence of the middle, from its end.
    std::vector<std::uint16_t> length((a + 1) * (b + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> std::uint16_t& { return length[i * (b + 1) + j]; };
    for (std::size_t i = a; i-- > 0;)
      for (std::size_t j = b; j-- > 0;)
        at(i, j) = first[head + i] == second[head + j] ? std::uint16_t(at(i + 1, j + 1) + 1)
                                                       : std::max(at(i + 1, j), at(i, j + 1));
    std::size_t i = 0, j = 0;
    while (i < a || j < b) {
      if (i < a && j < b && first[head + i] == second[head + j]) {
        rows.push_back({long(head + i++), long(head + j++)});
      } else if (j == b || (i < a && at(i + 1, j) >= at(i, j + 1))) {
        rows.push_back({long(head + i++), -1});
      } else {
        rows.push_back({-1, long(head + j++)});
      }
    }
  } else {
    for (std::size_t i = 0; i < a; ++i) rows.push_back({long(head + i), -1});
    for (std::size_t j = 0; j < b; ++j) rows.push_back({-1, long(head + j)});
  }
  for (std::size_t k = 0; k < tail; ++k) rows.push_back({long(n - tail + k), long(m - tail + k)});
  return rows;
}

std::optional<std::size_t> firstDifferentLine(const std::vector<std::string>& first,
                                              const std::vector<std::string>& second) {
  const std::size_t common = std::min(first.size(), second.size());
  for (std::size_t i = 0; i < common; ++i)
    if (first[i] != second[i]) return i;
  if (first.size() != second.size()) return common;
  return std::nullopt;
}

std::string unifiedDiff(const std::vector<std::string>& first, const std::vector<std::string>& second,
                        std::string_view firstLabel, std::string_view secondLabel) {
  constexpr std::size_t kContext = 3;
  const std::vector<AlignedRow> rows = alignLines(first, second);
  std::string out;
  std::size_t k = 0;
  while (k < rows.size()) {
    if (rows[k].equal()) {
      ++k;
      continue;
    }
    // A hunk: kContext rows of context around changes that are at most
    // 2 * kContext equal rows apart.
    const std::size_t begin = k >= kContext ? k - kContext : 0;
    std::size_t lastChange = k;
    for (std::size_t r = k + 1; r < rows.size() && r <= lastChange + 2 * kContext + 1; ++r)
      if (!rows[r].equal()) lastChange = r;
    const std::size_t end = std::min(rows.size(), lastChange + 1 + kContext);
    long firstStart = -1, secondStart = -1, firstCount = 0, secondCount = 0;
    std::string body;
    for (std::size_t r = begin; r < end; ++r) {
      const AlignedRow& row = rows[r];
      if (row.first >= 0) {
        if (firstStart < 0) firstStart = row.first;
        ++firstCount;
      }
      if (row.second >= 0) {
        if (secondStart < 0) secondStart = row.second;
        ++secondCount;
      }
      body += row.equal() ? ' ' : row.first >= 0 ? '-' : '+';
      body += row.first >= 0 ? first[std::size_t(row.first)] : second[std::size_t(row.second)];
      body += '\n';
    }
    // An empty side starts, by convention, at the line before the hunk.
    const auto startOf = [&](long start, long count, bool ofFirst) {
      if (count > 0) return start + 1;
      for (std::size_t r = begin; r-- > 0;) {
        const long line = ofFirst ? rows[r].first : rows[r].second;
        if (line >= 0) return line + 1;
      }
      return 0L;
    };
    if (out.empty()) {
      out += "--- " + std::string(firstLabel) + "\n";
      out += "+++ " + std::string(secondLabel) + "\n";
    }
    out += "@@ -" + std::to_string(startOf(firstStart, firstCount, true)) + "," + std::to_string(firstCount) + " +" +
           std::to_string(startOf(secondStart, secondCount, false)) + "," + std::to_string(secondCount) + " @@\n";
    out += body;
    k = end;
  }
  return out;
}

namespace {

// The host as it is, except that the receive's question is answered OK: a
// comparison only reads, and the operator asked for it already.
class NoQuestionHost final : public LinkHost {
 public:
  explicit NoQuestionHost(LinkHost& host) : host_(host) {}
  int pageIndex() const override { return host_.pageIndex(); }
  void appendPageLine(int page, std::string_view line) override { host_.appendPageLine(page, line); }
  void beep() override { host_.beep(); }
  void processEvents() override { host_.processEvents(); }
  int waitSliceMs() const override { return host_.waitSliceMs(); }
  int selectedPortIndex() const override { return host_.selectedPortIndex(); }
  void selectPortIndex(int index) override { host_.selectPortIndex(index); }
  std::string namedPort() const override { return host_.namedPort(); }
  bool confirm(std::string_view) override { return true; }
  void notice(std::string_view text) override { host_.notice(text); }
  bool stopRequested() const override { return host_.stopRequested(); }
  void clearStopRequest() override { host_.clearStopRequest(); }
  void showTransferProgress(const ProgressSnapshot& progress) override { host_.showTransferProgress(progress); }
  void endTransferProgress() override { host_.endTransferProgress(); }

 private:
  LinkHost& host_;
};

constexpr TextPair kSame = {"Program %s on the controller is the same as the file (%d lines)",
                            "控制器上的程式 %s 與檔案相同 (%d 行)"};
constexpr TextPair kLineDiffers = {"Program %s differs from line %d: controller ", "程式 %s 自第 %d 行起不同: 控制器 "};
constexpr TextPair kFileWord = {", file ", ", 檔案 "};
constexpr TextPair kNameDiffers = {"Program %s: the controller's name differs from the file's: ",
                                   "程式 %s: 控制器上的程式名稱與檔案不同: "};
constexpr TextPair kNoLine = {"(no line)", "(無此行)"};
constexpr TextPair kVerified = {"Verified: the controller holds program %s as it was sent (%d lines)",
                                "已驗證: 控制器上的程式 %s 與傳送的內容相同 (%d 行)"};
constexpr TextPair kVerifyFailed = {"Verify failed: ", "驗證失敗: "};
constexpr TextPair kVerifyNoRead = {"Verify failed: program %s could not be read back",
                                    "驗證失敗: 無法讀回程式 %s"};

std::string twoDigits(int number) {
  const char digits[] = {char('0' + number / 10 % 10), char('0' + number % 10), 0};
  return digits;
}

}  // namespace

ControllerComparison compareWithController(Link& link, int generation, int number,
                                           const std::vector<std::string>& lines,
                                           std::optional<std::string_view> name) {
  ControllerComparison result;
  NoQuestionHost host(link.host());
  Link reader(link.port(), link.session(), host, link.clock());
  MemoryNcPage page;
  page.gen = generation;
  page.number = number;
  result.received = NcOperations(operationParts(reader), page).receive();
  if (!result.received) return result;
  result.controllerLines = std::move(page.lines);
  result.controllerName = page.name;
  result.firstDifference = firstDifferentLine(result.controllerLines, lines);
  // The name frame is padded with blanks; trailing ones are no part of a name.
  if (name && generation == kGenerationX02) {
    const std::string given = programNameRule(*name, link.session().language());
    result.nameDiffers = trimTrailingBlanks(given) != trimTrailingBlanks(result.controllerName);
  }
  return result;
}

std::string comparisonText(int language, int number, const ControllerComparison& comparison,
                           const std::vector<std::string>& lines, std::string_view name) {
  const std::string program = twoDigits(number);
  if (comparison.firstDifference) {
    const std::size_t at = *comparison.firstDifference;
    const std::string none = fillText(language, kNoLine, {}, {});
    const std::vector<std::string>& held = comparison.controllerLines;
    const std::string controllerText = at < held.size() ? "\"" + held[at] + "\"" : none;
    const std::string fileText = at < lines.size() ? "\"" + lines[at] + "\"" : none;
    return fillText(language, kLineDiffers, program, {long(at) + 1}) + controllerText +
           fillText(language, kFileWord, {}, {}) + fileText;
  }
  if (comparison.nameDiffers) {
    return fillText(language, kNameDiffers, program, {}) + "\"" + comparison.controllerName + "\" / \"" +
           std::string(name) + "\"";
  }
  return fillText(language, kSame, program, {long(lines.size())});
}

bool verifyStoredProgram(Link& link, int generation, int number, const std::vector<std::string>& lines,
                         std::string_view name) {
  const int language = link.session().language();
  const ControllerComparison comparison = compareWithController(link, generation, number, lines, name);
  if (!comparison.received) {
    link.ShowPageMessage(0, fillText(language, kVerifyNoRead, twoDigits(number), {}));
    link.beep();
    return false;
  }
  if (comparison.same()) {
    link.ShowPageMessage(0, fillText(language, kVerified, twoDigits(number), {long(lines.size())}));
    return true;
  }
  link.ShowPageMessage(0, fillText(language, kVerifyFailed, {}, {}) +
                              comparisonText(language, number, comparison, lines, name));
  link.beep();
  return false;
}

bool verifyBatch(Link& link, int generation, const MultipleChoice& choice) {
  const bool withName = generation == kGenerationX02;
  for (const std::string& file : choice.files) {
    const std::string path = joinPath(choice.directory, file);
    const ProgramText read = readProgramText(path, withName, link.session().language());
    if (read.file.status != ProgramFileStatus::kRead) return false;
    if (!verifyStoredProgram(link, generation, read.file.number, read.file.lines, read.file.name)) return false;
  }
  return true;
}

}  // namespace qxr
