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

// A value answer: a decimal integer (blanks around it and a sign allowed),
// then the line end. Anything else, line noise or a reply out of step, is no
// value: kept as one, it would go back to the controller as 0 with the next
// send of the file.
bool isValueAnswer(std::string_view answer) {
  answer = answer.substr(0, answer.find_first_of("\r\n"));
  std::size_t at = answer.find_first_not_of(' ');
  if (at == std::string_view::npos) return false;
  if (answer[at] == '+' || answer[at] == '-') ++at;
  const std::size_t end = std::min(answer.find_first_not_of("0123456789", at), answer.size());
  return end > at && answer.find_first_not_of(' ', end) == std::string_view::npos;
}

}  // namespace

bool isParameterComment(std::string_view line) { return !line.empty() && line.front() == '/'; }

std::optional<std::string> parameterWriteLine(std::string_view line) {
  line = cutAt(line, '\n');
  const auto close = line.find(')');
  if (close == std::string_view::npos) return std::nullopt;
  const auto open = line.substr(0, close).find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const auto equals = line.rfind('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string frame(line.substr(open + 1, close - open - 1));
  frame += '=';
  frame += std::to_string(leadingInt(line.substr(equals + 1)));
  return frame;
}

std::string receivedParameterLine(const ParameterEntry& entry, std::string_view answer) {
  // The answer ends with CR LF; a bare LF must not break the line in two.
  const auto end = answer.find_first_of("\r\n");
  return entry.name + "(" + std::to_string(entry.number) + ")=" + std::string(answer.substr(0, end));
}

bool readParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page) {
  report(host, session.msg(111));
  page.setFileLabel(session.msg(35) + path);
  // Whole lines, however long, so that saving and reading again gives back
  // exactly the lines that were saved.
  const auto lines = readAllLines(path, kParameterFileLimit);
  if (!lines) return false;
  page.setParameterLines(*lines);
  report(host, session.msg(114) + ":" + std::to_string(lines->size()));
  report(host, session.msg(115));
  page.showLastParameterLine();
  return true;
}

bool writeParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page) {
  report(host, session.msg(116));
  page.setFileLabel(session.msg(35) + path);
  if (saveLines(path, page.parameterLines()) != FileError::kNone) return false;
  report(host, session.msg(117));
  return true;
}

bool sendParameters(Link& link, ParameterPage& page) {
  Session& session = link.session();
  LinkHost& host = link.host();
  const std::vector<std::string> lines = page.parameterLines();
  if (lines.empty()) {
    report(host, session.msg(141));
    host.beep();
    return false;
  }
  host.beep();
  if (!host.confirm(session.msg(143))) return false;

  if (!link.openSelectedPort()) return false;
  report(host, session.msg(144));
  if (!link.TransToQXR(frames::kAttention)) return false;
  link.ReceiveFromQXR(kReplyLength, 0);  // whatever the controller answers
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
      report(host, session.msg(145));
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
  if (!link.stopped()) report(host, session.msg(146));
  if (link.portOpen()) link.closePort();
  return allSent;
}

bool receiveParameters(Link& link, ParameterPage& page, const ParameterEntries& list) {
  Session& session = link.session();
  LinkHost& host = link.host();
  // Taken before the first wait: the waits let the page rebuild its list.
  const std::vector<int> checked = page.checkedEntries();
  if (!link.openSelectedPort()) return false;
  report(host, session.msg(147));
  if (!link.TransToQXR(frames::kAttention)) return false;
  link.ReceiveFromQXR(kReplyLength, 0);
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
    if (link.ReceiveFromQXR(kReplyLength, 1) && isValueAnswer(link.reply())) {
      page.appendParameterLine(receivedParameterLine(entry, link.reply()));
    } else {
      report(host, missing);
      allRead = false;
      // A failed wait has closed the port: asking on would only run into one
      // time-out per remaining entry.
      if (!link.portOpen()) break;
    }
  }
  if (!link.stopped()) report(host, session.msg(148));
  if (link.portOpen()) link.closePort();
  page.showLastParameterLine();
  return allRead;
}

}  // namespace qxr
