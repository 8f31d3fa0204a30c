#include "params/paramtransfer.h"

#include <algorithm>

#include "base/host.h"
#include "base/textio.h"
#include "link/frames.h"
#include "link/link.h"

namespace qxr {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSkipMark = "...Skip...";
constexpr std::string_view kMissingValue = "XXXXXX";

// Lines of this page go to its own message box, whichever page is on top.
void report(LinkHost& host, std::string_view line) { host.appendPageLine(kParameterPage, line); }

// A sign and digits from `at`: the number when it is within the
// controller's range; `end` is where the digits stop (at `digits` when there
// are none).
std::optional<std::int32_t> signedDigits(std::string_view text, std::size_t at, std::size_t& digits,
                                         std::size_t& end) {
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  digits = at;
  std::int64_t value = 0;
  bool inRange = true;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (inRange) value = value * 10 + (text[at] - '0');
    if (value > kMaxParameterValue + 1) inRange = false;
  }
  end = at;
  if (negative) value = -value;
  if (!inRange || value < kMinParameterValue || value > kMaxParameterValue) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value text of a line as the operator wrote it: sign and digits.
std::string writtenValue(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isWhiteSpace(text[at])) ++at;
  std::size_t digits = 0, end = 0;
  signedDigits(text, at, digits, end);
  return std::string(text.substr(at, end - at));
}

}  // namespace

std::optional<std::int32_t> leadingParameterValue(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isWhiteSpace(text[at])) ++at;
  std::size_t digits = 0, end = 0;
  return signedDigits(text, at, digits, end);
}

// Kept as a value, anything but a number would go back to the controller as 0
// with the next send of the file, and a number beyond 32 bits as another one.
std::optional<std::int32_t> parameterValueAnswer(std::string_view answer) {
  answer = answer.substr(0, answer.find_first_of("\r\n"));
  const std::size_t at = answer.find_first_not_of(' ');
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t digits = 0, end = 0;
  const std::optional<std::int32_t> value = signedDigits(answer, at, digits, end);
  if (end == digits || answer.find_first_not_of(' ', end) != std::string_view::npos) return std::nullopt;
  return value;
}

bool isParameterComment(std::string_view line) { return !line.empty() && line.front() == '/'; }

std::optional<std::string> parameterWriteLine(std::string_view line) {
  line = cutAt(line, '\n');
  const auto close = line.find(')');
  if (close == std::string_view::npos) return std::nullopt;
  const auto open = line.substr(0, close).find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const auto equals = line.rfind('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::optional<std::int32_t> value = leadingParameterValue(line.substr(equals + 1));
  if (!value) return std::nullopt;
  std::string frame(line.substr(open + 1, close - open - 1));
  frame += '=';
  frame += std::to_string(*value);
  return frame;
}

std::optional<LineProblem> checkParameterLines(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (auto problem = controlByteIn(i, line)) return problem;
    if (isParameterComment(line)) continue;
    const auto equals = line.rfind('=');
    if (equals != std::string_view::npos && !leadingParameterValue(line.substr(equals + 1))) {
      LineProblem problem;
      problem.kind = LineProblem::kValueOutOfRange;
      problem.line = i;
      problem.text = writtenValue(line.substr(equals + 1));
      return problem;
    }
    const auto frame = parameterWriteLine(line);
    if (!frame) {
      LineProblem problem;
      problem.kind = LineProblem::kBadForm;
      problem.line = i;
      problem.text = "name(number)=value";
      return problem;
    }
    if (auto problem = oversizedFrame(i, frame->size() + kLineEnd.size())) return problem;
  }
  return std::nullopt;
}

std::string receivedParameterLine(const ParameterEntry& entry, std::string_view answer) {
  // The answer ends with CR LF; a bare LF must not break the line in two.
  const auto end = answer.find_first_of("\r\n");
  return entry.name + "(" + std::to_string(entry.number) + ")=" + std::string(answer.substr(0, end));
}

bool readParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page) {
  report(host, session.msg(msg::kReadingFile));
  page.setFileLabel(session.msg(msg::kFileLabel) + path);
  // Whole lines, however long, so that saving and reading again gives back
  // exactly the lines that were saved.
  FileError error = FileError::kNone;
  const auto lines = readAllLines(path, kParameterFileLimit, &error);
  if (!lines) {
    report(host, fileErrorText(session.language(), error, path, kParameterFileLimit));
    host.beep();
    return false;
  }
  page.setParameterLines(*lines);
  report(host, session.msg(msg::kLines) + ":" + std::to_string(lines->size()));
  report(host, session.msg(msg::kFileRead));
  page.showLastParameterLine();
  return true;
}

bool writeParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page) {
  report(host, session.msg(msg::kWritingFile));
  page.setFileLabel(session.msg(msg::kFileLabel) + path);
  const FileError error = saveLines(path, page.parameterLines());
  if (error != FileError::kNone) {
    report(host, fileErrorText(session.language(), error, path));
    host.beep();
    return false;
  }
  report(host, session.msg(msg::kFileSaved));
  return true;
}

bool sendParameters(const OperationParts& parts, ParameterPage& page) {
  Session& session = parts.session;
  LinkHost& host = parts.host;
  Link& link = parts.link;
  const std::vector<std::string> lines = page.parameterLines();
  if (lines.empty()) {
    report(host, session.msg(msg::kParameterEditorEmpty));
    host.beep();
    return false;
  }
  // Every line is looked at before the question and before the port opens:
  // a line the controller would misread refuses the whole send.
  if (const std::optional<LineProblem> problem = checkParameterLines(lines)) {
    report(host, lineProblemText(session.language(), *problem));
    host.beep();
    return false;
  }
  host.beep();
  if (!host.confirm(session.msg(msg::kParameterSendQuestion))) return false;

  if (!link.openSelectedPort()) return false;
  report(host, session.msg(msg::kSendingParameters));
  if (!link.TransToQXR(frames::kAttention)) return false;
  link.ReceiveFromQXR(kReplyLength, 0);  // whatever the controller answers
  if (link.lineFault()) return false;     // unless nothing answers as one
  if (!link.TransToQXR(frames::kParamWrite) || !link.ReceiveFromQXR(kReplyLength, 1)) return false;

  bool allSent = true;
  long total = 0, done = 0;
  for (const std::string& line : lines) total += isParameterComment(line) ? 0 : 1;
  LinkProgress shown(link, ProgressUnit::kParameters, total);
  for (const std::string& line : lines) {
    if (isParameterComment(line)) {
      report(host, line + std::string(kSkipMark));
      continue;
    }
    const auto frame = parameterWriteLine(line);
    if (!frame) {
      report(host, session.msg(msg::kMalformedParameter));
      host.beep();
      allSent = false;
      break;
    }
    report(host, line);
    if (!link.TransToQXR(*frame + std::string(kLineEnd)) || !link.ReceiveFromQXR(kReplyLength, 1)) {
      allSent = false;
      break;
    }
    link.setProgress(++done);
  }
  if (!link.stopped()) report(host, session.msg(msg::kParameterSendFinished));
  if (link.portOpen()) link.closePort();
  return allSent;
}

bool receiveParameters(const OperationParts& parts, ParameterPage& page, const ParameterEntries& list) {
  Session& session = parts.session;
  LinkHost& host = parts.host;
  Link& link = parts.link;
  // Taken before the first wait: the waits let the page rebuild its list.
  const std::vector<int> checked = page.checkedEntries();
  if (!link.openSelectedPort()) return false;
  report(host, session.msg(msg::kReadingParameters));
  if (!link.TransToQXR(frames::kAttention)) return false;
  link.ReceiveFromQXR(kReplyLength, 0);
  if (link.lineFault()) return false;
  if (!link.TransToQXR(frames::kParamRead) || !link.ReceiveFromQXR(kReplyLength, 1)) return false;

  page.setParameterLines({});
  bool allRead = true;
  long done = 0;
  LinkProgress shown(link, ProgressUnit::kParameters, static_cast<long>(checked.size()));
  for (const int index : checked) {
    link.setProgress(done++);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) continue;
    const ParameterEntry& entry = list[static_cast<std::size_t>(index)];
    if (!link.TransToQXR(std::to_string(entry.number) + std::string(kLineEnd))) {
      allRead = false;
      break;
    }
    const std::string missing = receivedParameterLine(entry, {}) + std::string(kMissingValue);
    if (!link.ReceiveFromQXR(kReplyLength, 1)) {
      report(host, missing);
      allRead = false;
      break;
    }
    if (!link.TransToQXR(frames::kAckLine)) {
      allRead = false;
      break;
    }
    if (link.ReceiveFromQXR(kReplyLength, 1) && parameterValueAnswer(link.reply())) {
      page.appendParameterLine(receivedParameterLine(entry, link.reply()));
    } else {
      report(host, missing);
      allRead = false;
      // A failed wait has closed the port: asking on would only run into one
      // time-out per remaining entry.
      if (!link.portOpen()) break;
    }
  }
  if (!link.stopped()) report(host, session.msg(msg::kParameterReadFinished));
  if (link.portOpen()) link.closePort();
  page.showLastParameterLine();
  return allRead;
}

}  // namespace qxr
