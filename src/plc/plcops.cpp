#include "plc/plcops.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/fileio.h"
#include "base/session.h"
#include "base/textio.h"
#include "link/frames.h"
#include "link/comm.h"
#include "link/hexrecord.h"
#include "link/link.h"
#include "link/linktexts.h"

namespace qxr {

namespace {


constexpr int kProgressLimit = 11;
// The first answer to sequence-read carries its data one character later
// than the data records that follow.
constexpr std::size_t kFirstRecordDataOffset = 6;
constexpr std::size_t kRecordDataOffset = 5;
// An answer this short is not yet the first record.
constexpr std::size_t kShortFirstAnswer = 6;

}  // namespace

bool holdsCompiledData(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    for (char c : line)
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::optional<LineProblem> checkPlcLines(const std::vector<std::string>& lines) {
  if (auto problem = firstControlByteLine(lines)) return problem;
  if (!holdsCompiledData(lines)) return std::nullopt;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    if (auto problem = oversizedFrame(i, BuildHexRecord(lines[i]).size())) return problem;
  }
  return std::nullopt;
}

std::string_view recordData(std::string_view record, std::size_t offset) {
  std::size_t end = record.size();
  const std::size_t etx = record.find(frames::ETX);
  if (etx != std::string_view::npos) end = etx >= 2 ? etx - 2 : 0;
  if (offset >= end) return {};
  return record.substr(offset, end - offset);
}

std::string compileFailureText(const Session& session, const PlcCompilation& compilation) {
  std::string text = session.msg(kPlcMessageBase + compilation.status);
  if (compilation.failingLine > 0) {
    char label[32];
    std::snprintf(label, sizeof label, "  N%04d: ", compilation.failingLine);
    text += label;
    text += compilation.failingText;
  }
  return text;
}

std::string ProgressRun::next() {
  length_ = length_ % kProgressLimit + 1;
  return std::string(static_cast<std::size_t>(length_), mark_);
}

PlcOperations::PlcOperations(const OperationParts& parts, PlcPage& page, PlcTables& tables)
    : session_(parts.session), host_(parts.host), link_(parts.link), port_(parts.port), page_(page), tables_(tables) {}

void PlcOperations::report(int catalogueNumber, std::string_view text) {
  link_.ShowPageMessage(catalogueNumber, text);
}

// Sends one control frame, logs "communicating" and waits for the answer.
bool PlcOperations::exchange(std::string_view frame, int communicatingLines) {
  const bool sent = link_.TransStr(frame);
  for (int i = 0; i < communicatingLines; ++i) report(msg::kCommunicating);
  return sent && link_.ReceiveFromQXR(kReplyLength, 1);
}

// The controller may miss the first link-on after it was idle: one more try.
bool PlcOperations::linkOnWithRetry() {
  if (exchange(frames::kLinkOn)) return true;
  link_.closePort();
  report(0, "Try again!");
  if (!link_.openSelectedPort()) return false;
  // An answer to the first link-on that came after its time-out is no answer
  // to the second: read as one, every reply after it would be a step behind
  // and the link-off would take the sequence-write's answer.
  port_.PurgeIn();
  return exchange(frames::kLinkOn);
}

bool PlcOperations::readFile(const std::string& path) {
  const Session& session = session_;
  report(msg::kReadingFile);
  page_.setFileLabel(session.msg(msg::kFileLabel) + path);
  page_.setPlcFilePath(path);
  FileError error = FileError::kNone;
  std::optional<std::vector<std::string>> lines = readAllLines(path, kPlcFileLimit, &error);
  if (!lines) {
    host_.beep();
    report(0, fileErrorText(session.language(), error, path, kPlcFileLimit));
    return false;
  }
  const std::size_t count = lines->size();
  page_.setEditorLines(std::move(*lines));
  page_.focusEditor();
  report(0, "PLM" + session.msg(msg::kLines) + ":" + std::to_string(count));
  report(msg::kFileRead);
  page_.scrollEditorToEnd();
  return true;
}

bool PlcOperations::writeFile(const std::string& path) {
  const Session& session = session_;
  report(msg::kWritingFile);
  page_.setFileLabel(session.msg(msg::kFileLabel) + path);
  page_.setPlcFilePath(path);
  const FileError error = saveLines(path, page_.editorLines());
  if (error != FileError::kNone) {
    host_.beep();
    report(msg::kCannotCreateFile, " " + path);
    report(0, fileErrorText(session.language(), error, path));
    return false;
  }
  report(msg::kFileSaved);
  return true;
}

bool PlcOperations::sendDataLines(const std::vector<std::string>& lines) {
  const bool trace = session_.settings.sendTrace;
  ProgressRun progress('>');
  long total = 0, done = 0;
  for (const std::string& line : lines) total += line.empty() ? 0 : 1;
  LinkProgress shown(link_, ProgressUnit::kRecords, total);
  for (const std::string& line : lines) {
    page_.showProgress(progress.next(), false);
    host_.processEvents();
    if (line.empty()) continue;
    link_.setProgress(done++);
    const std::string record = BuildHexRecord(line);
    if (trace) report(0, record);
    // The records stream without an answer each.
    if (!link_.TransToQXR(record)) return false;
  }
  return true;
}

bool PlcOperations::send() {
  const Session& session = session_;
  std::vector<std::string> lines = page_.editorLines();
  if (lines.empty()) {
    host_.beep();
    report(msg::kPlcEditorEmpty);
    return false;
  }
  // Looked at before anything is compiled or the port opens.
  if (const std::optional<LineProblem> problem = checkPlcLines(lines)) {
    host_.beep();
    report(0, lineProblemText(session.language(), *problem));
    return false;
  }

  if (!holdsCompiledData(lines)) {
    const PlcCompilation compilation = compilePlcProgram(lines, tables_);
    if (compilation.status != psOk) {
      report(0, compileFailureText(session, compilation));
      return false;
    }
    // What goes out is what the ".mcn" file holds; a file that cannot be
    // written or read back stops the send rather than sending nothing.
    const std::string mcnPath = mcnPathFor(page_.plcFilePath(), session.startDir);
    FileError error = FileError::kNone;
    if (!WriteMcnFile(mcnPath, tables_, compilation.instructions, &error)) {
      host_.beep();
      report(msg::kCannotCreateFile, " " + mcnPath);
      report(0, fileErrorText(session.language(), error, mcnPath));
      return false;
    }
    std::optional<std::vector<std::string>> written = readAllLines(mcnPath, kPlcFileLimit, &error);
    if (!written) {
      host_.beep();
      report(0, fileErrorText(session.language(), error, mcnPath, kPlcFileLimit));
      return false;
    }
    lines = std::move(*written);
  }

  if (!link_.openSelectedPort()) return false;
  if (!linkOnWithRetry()) return false;
  if (!exchange(frames::kSequenceWrite)) return false;

  report(msg::kSendingData);
  const bool allWritten = sendDataLines(lines);
  page_.hideProgress();
  // A failed write has closed the port; the closing frames would only run
  // into a time-out that never was the controller's.
  if (!allWritten && !link_.portOpen()) return false;

  if (!link_.TransStr(frames::kEndOfData)) return false;
  link_.DelayMs(static_cast<std::uint32_t>(std::max(0, page_.transferDelayMs())));
  if (!link_.TransStr(frames::kLinkOff) || !link_.ReceiveFromQXR(kReplyLength, 1)) return false;
  report(msg::kCommunicating);
  report(msg::kTransferFinished);
  link_.closePort();
  return allWritten;
}

bool PlcOperations::receive() {
  const Session& session = session_;
  const std::string path = joinPath(session.startDir, kReceivedMcnName);
  if (const FileError error = checkSaveTarget(path); error != FileError::kNone) {
    host_.beep();
    report(msg::kCannotCreateFile, " " + path);
    report(0, fileErrorText(session.language(), error, path));
    return false;
  }
  if (!link_.openSelectedPort()) return false;

  if (!exchange(frames::kLinkOn)) return false;
  if (!exchange(frames::kSequenceRead, 2)) return false;
  if (link_.reply().size() <= kShortFirstAnswer) {
    report(0, "Reloading....");
    if (!link_.ReceiveFromQXR(kReplyLength, 1)) return false;
  }
  // The editor gives way to the controller's program only once that program
  // is coming: a controller that never answers leaves the operator's text.
  page_.setEditorLines({});
  page_.setReceivedLines({});
  std::vector<std::string> received;
  received.emplace_back(recordData(link_.reply(), kFirstRecordDataOffset));
  report(msg::kReceivingData);

  const bool trace = session.settings.receiveTrace;
  std::size_t receivedBytes = received.front().size() + 2;
  ProgressRun progress('<');
  LinkProgress shown(link_, ProgressUnit::kRecords, 0);
  for (;;) {
    link_.setProgress(static_cast<long>(received.size()));
    page_.showProgress(progress.next(), true);
    host_.processEvents();
    if (!link_.ReceiveFromQXR(kReplyLength, 1)) {
      // The failed wait has closed the port; "Mcn.tmp" keeps the last
      // complete receive.
      page_.hideProgress();
      page_.setReceivedLines(std::move(received));
      return false;
    }
    if (link_.reply() == frames::kEndOfData) break;
    const std::string_view data = recordData(link_.reply(), kRecordDataOffset);
    if (trace) report(0, data);
    // Records that never end would never end the receive: bounded by what a
    // compiled file may hold (with its line ends).
    receivedBytes += data.size() + 2;
    if (receivedBytes > kPlcFileLimit) {
      page_.hideProgress();
      link_.failReceive(linkText(session.language(), LinkText::kTooManyBytes, {}, static_cast<long>(kPlcFileLimit)));
      return false;
    }
    received.emplace_back(data);
  }
  page_.hideProgress();
  page_.setReceivedLines(received);

  if (!link_.TransStr(frames::kLinkOff) || !link_.ReceiveFromQXR(kReplyLength, 1)) return false;
  report(msg::kCommunicating);
  report(msg::kReceiveFinished);
  link_.closePort();
  report(msg::kConverting);

  const FileError error = saveLines(path, received);
  if (error != FileError::kNone) {
    host_.beep();
    report(msg::kCannotCreateFile, " " + path);
    report(0, fileErrorText(session.language(), error, path));
    return false;
  }
  return listMcnFile(path);
}

bool PlcOperations::listMcnFile(const std::string& path) {
  std::string text;
  const FileError error = readFileChecked(path, kPlcFileLimit, text);
  if (error != FileError::kNone) {
    report(msg::kCannotOpenReceived);
    report(0, fileErrorText(session_.language(), error, path, kPlcFileLimit));
    return false;
  }
  McnListing listing = listMcnText(std::move(text), tables_);
  if (listing.outcome == McnListing::loHeaderDamaged) {
    report(msg::kPresetsDamaged);
    return false;
  }
  if (listing.outcome == McnListing::loTimingDamaged) {
    report(msg::kTimingDamaged);
    return false;
  }
  page_.setEditorLines(std::move(listing.lines));
  if (listing.outcome == McnListing::loEnd) {
    report(kPlcMessageBase + psEnd);
  } else {
    report(kPlcMessageBase + listing.status);
    char number[48];
    std::snprintf(number, sizeof number, "Command No.=%d  ", listing.commandNumber);
    report(0, number);
  }
  page_.scrollEditorToEnd();
  return listing.outcome == McnListing::loEnd;
}

}  // namespace qxr
