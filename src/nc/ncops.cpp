#include "nc/ncops.h"

#include <cstdio>

#include "base/fileio.h"
#include "base/linecheck.h"
#include "base/controltexts.h"
#include "base/textio.h"
#include "link/comm.h"
#include "link/link.h"
#include "link/linktexts.h"
#include "nc/ncfile.h"
#include "nc/nctexts.h"

namespace qxr {

namespace ncframe {

std::string number(int programNumber) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d\r\n", programNumber);
  return text;
}

std::string name(std::string_view programName) {
  std::string frame(programName.substr(0, kProgramNameLength));
  frame.resize(kProgramNameLength, ' ');
  frame += "\r\n";
  return frame;
}

}  // namespace ncframe

namespace {


std::string twoDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  return text;
}

std::string missingProgramLine(int number) { return "In program No " + twoDigits(number); }

// The editor hides while it is filled and shows again on every way out.
class HiddenEditor {
 public:
  explicit HiddenEditor(NcPage& page) : page_(page) { page_.setEditorVisible(false); }
  ~HiddenEditor() { page_.setEditorVisible(true); }
  HiddenEditor(const HiddenEditor&) = delete;
  HiddenEditor& operator=(const HiddenEditor&) = delete;

 private:
  NcPage& page_;
};

// The progress display is cleared on every way out of a transfer.
class ProgressScope {
 public:
  explicit ProgressScope(NcPage& page) : page_(page) {}
  ~ProgressScope() { page_.showProgress({}); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  NcPage& page_;
};

}  // namespace

NcOperations::NcOperations(const OperationParts& parts, NcPage& page)
    : session_(parts.session), host_(parts.host), link_(parts.link), port_(parts.port), page_(page) {}

void NcOperations::begin() {
  named_ = page_.generation() == kGenerationX02;
  storedLines_ = -1;
}

NcOperations::PageState NcOperations::pageState() const {
  return {page_.programLines(), page_.programNumber(), page_.programName()};
}

void NcOperations::restorePage(const PageState& state) {
  page_.setProgramLines(state.lines);
  page_.setProgramNumber(state.number);
  page_.setProgramName(state.name);
}

// Names pass the one name rule on their way into the page and out of it, so
// that the window and qxrtool put the same name on the wire and in files.
std::string NcOperations::nameRule(std::string_view name) const { return programNameRule(name, session_.language()); }
std::string NcOperations::programName() const { return nameRule(page_.programName()); }
void NcOperations::setProgramName(std::string_view name) { page_.setProgramName(nameRule(name)); }

std::string NcOperations::text(int catalogueNumber) const { return session_.msg(catalogueNumber); }

void NcOperations::report(int catalogueNumber, std::string_view text) {
  link_.ShowPageMessage(catalogueNumber, text);
}

std::string NcOperations::question(int catalogueNumber, int number, bool withNameLine,
                                   std::string_view shownName) const {
  std::string q = text(catalogueNumber) + "\n\n" + text(msg::kProgramNoLabel) + ":" + twoDigits(number);
  if (withNameLine) {
    q += "\n" + text(msg::kProgramNameLabel) + ":";
    q += shownName;
  }
  return q;
}

bool NcOperations::sendIgnore(std::string_view frame) {
  if (!link_.TransToQXR(frame)) return false;
  link_.ReceiveFromQXR(kReplyLength, 0);
  // Whatever it answers, unless nothing on the line answers as a controller.
  return !link_.lineFault();
}

bool NcOperations::sendExpect(std::string_view frame) {
  return link_.TransToQXR(frame) && link_.ReceiveFromQXR(kReplyLength, 1);
}

bool NcOperations::replyIsAttention() const { return link_.reply() == ncframe::kAttention; }

std::string NcOperations::replyUpToLineEnd() const {
  return std::string(cutAt(cutAt(link_.reply(), '\r'), '\n'));
}

void NcOperations::takeControllerName() {
  controllerName_ = replyIsAttention() ? std::string() : nameRule(replyUpToLineEnd());
}

// One program line from the controller. A reply stops after 75 bytes; a line
// longer than that arrives in consecutive replies, each acknowledged as the
// controller counts them, and is joined here.
bool NcOperations::receiveProgramLine(std::string& reply) {
  reply.clear();
  for (;;) {
    if (!link_.ReceiveLinePiece(kReplyLength)) return false;
    reply += link_.reply();
    const bool cut = link_.pieceCut();
    if (cut && !link_.TransToQXR(ncframe::kAck)) return false;
    if (reply.size() > kReceivedLineLimit) {
      link_.failReceive(linkText(session_.language(), LinkText::kLineTooLong, {},
                                 static_cast<long>(kReceivedLineLimit)));
      return false;
    }
    if (!cut) return true;
  }
}

long NcOperations::firstOversizedLine(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // "N<i> " + text + CR LF + the terminating zero.
    const std::size_t size = numberedProgramLine(i, cutAt(lines[i], '\n')).size() + 3;
    if (size > kProgramFrameBuffer) return static_cast<long>(i);
  }
  return -1;
}

bool NcOperations::refuseUnsendable(const std::vector<std::string>& lines, std::string_view name) {
  std::optional<LineProblem> problem = checkProgramBound(lines);
  if (!problem) problem = checkProgramForController(lines, name, withName());
  if (!problem) return false;
  report(0, lineProblemText(session_.language(), *problem));
  host_.beep();
  return true;
}

bool NcOperations::deleteOnController(std::string_view nameForFrame, int number) {
  report(msg::kDeleting);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kDelete)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!sendExpect(ncframe::name(nameForFrame))) return false;
  report(link_.reply() == ncframe::kDeleted ? msg::kDeleted : msg::kNotDeleted);
  return true;
}

// Attention, store, number, the name for "QXR X02", then every editor line
// (empty ones too, so that the controller's line numbers are the editor's),
// each waiting for its answer. The port stays open.
bool NcOperations::storeProgram(const std::vector<std::string>& lines, int number, std::string_view name) {
  ProgressScope progress(page_);
  storedLines_ = -1;
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kStore)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  storedLines_ = 0;
  if (withName() && !sendExpect(ncframe::name(name))) return false;
  const int language = session_.language();
  const long count = static_cast<long>(lines.size());
  LinkProgress shown(link_, ProgressUnit::kLines, count);
  std::string frame;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    frame = numberedProgramLine(i, cutAt(lines[i], '\n'));
    report(0, frame);
    page_.showProgress(ncText(language, NcText::kSendProgress, {}, static_cast<long>(i) + 1, count));
    frame += "\r\n";
    if (!link_.TransToQXR(frame)) return false;
    // Written whole, the line is the controller's whatever becomes of its
    // answer (a stop or a time-out while waiting leaves it stored), unless
    // the answer is the refusal.
    storedLines_ = static_cast<long>(i) + 1;
    if (!link_.ReceiveFromQXR(kReplyLength, 1)) {
      if (link_.lastWait() == WaitEnd::kRefused) storedLines_ = static_cast<long>(i);
      return false;
    }
    link_.setProgress(storedLines_);
  }
  report(msg::kTransferFinished);
  return true;
}

// The replies after the acknowledgement of a program number: the name first
// when one is expected, then one program line per reply until the attention
// frame; every reply is acknowledged, the last one too.
NcOperations::ReadOutcome NcOperations::readProgramLines(bool expectName, std::size_t& replies) {
  ProgressScope progress(page_);
  LinkProgress shown(link_, ProgressUnit::kLines, 0);
  const int language = session_.language();
  received_ = {};
  long lines = 0;
  std::size_t bytes = 0;
  std::string reply;
  for (;;) {
    if (!receiveProgramLine(reply)) {
      // Only a program that never began (no answer, a refusal) counts as
      // missing; noise, an echo or a line no program holds end the batch.
      const WaitEnd end = link_.lastWait();
      const bool missing = replies == 0 && (end == WaitEnd::kTimedOut || end == WaitEnd::kRefused);
      return missing ? ReadOutcome::kNoReply : ReadOutcome::kFailed;
    }
    ++replies;
    // However well formed, a receive that outgrows the editor or a program
    // file is no program: it always ends.
    bytes += reply.size();
    if (bytes > kProgramFileLimit) {
      link_.failReceive(linkText(language, LinkText::kTooManyBytes, {}, static_cast<long>(kProgramFileLimit)));
      return ReadOutcome::kFailed;
    }
    const bool last = reply == ncframe::kAttention;
    if (!last) {
      const std::string_view line = cutAt(cutAt(reply, '\r'), '\n');
      if (expectName) {
        received_.name = nameRule(line);
        page_.setProgramName(received_.name);
        expectName = false;
      } else {
        // The controller's line number (up to the first blank) is dropped; a
        // line without a blank is kept whole rather than lost.
        if (lines == kReceivedProgramLineLimit) {
          link_.failReceive(linkText(language, LinkText::kTooManyLines, {}, kReceivedProgramLineLimit));
          return ReadOutcome::kFailed;
        }
        const auto blank = line.find(' ');
        received_.lines.emplace_back(blank == std::string_view::npos ? line : line.substr(blank + 1));
        page_.appendProgramLine(received_.lines.back());
        page_.showProgress(ncText(language, NcText::kReceiveProgress, {}, ++lines));
        link_.setProgress(lines);
      }
    }
    if (!link_.TransToQXR(ncframe::kAck)) return ReadOutcome::kFailed;
    if (last) return ReadOutcome::kFinished;
  }
}

// The count is of the lines written whole: a line whose answer was still
// awaited when the store ended is on the controller.
void NcOperations::offerPartialDelete(int number, std::string_view name, long lineCount) {
  if (storedLines_ < 0) return;
  const int language = session_.language();
  report(0, controlText(language, ControlText::kPartialProgram, twoDigits(number), storedLines_, lineCount));
  if (!host_.confirm(controlText(language, ControlText::kDeletePartialQuestion, twoDigits(number)))) return;
  host_.clearStopRequest();
  if (link_.stopped() || !link_.openSelectedPort()) return;
  deleteOnController(name, number);
  link_.closePort();
}

// ---------------------------------------------------------------- files

bool NcOperations::writeFile(const std::string& path) {
  begin();
  report(msg::kWritingFile);
  page_.setFileLabel(text(msg::kFileLabel) + path);
  const std::vector<std::string> lines = page_.programLines();
  // A file that could not be opened again is not written.
  if (const std::optional<LineProblem> problem = checkProgramBound(lines)) {
    report(0, lineProblemText(session_.language(), *problem, Refused::kSave));
    host_.beep();
    return false;
  }
  FileError error = FileError::kNone;
  if (!writeProgramFile(path, page_.programNumber(), programName(), withName(), lines, &error)) {
    report(0, fileErrorText(session_.language(), error, path));
    host_.beep();
    return false;
  }
  report(msg::kFileSaved);
  return true;
}

bool NcOperations::readFile(const std::string& path) {
  begin();
  HiddenEditor hidden(page_);
  report(msg::kReadingFile);
  page_.setFileLabel(text(msg::kFileLabel) + path);
  return applyFile(path, true);
}

// Reads a program file into the page: number, name, lines. emptyNameForX00:
// a file without a name line empties the name (the single read does; the
// batch leaves it).
bool NcOperations::applyFile(const std::string& path, bool emptyNameForX00) {
  const ProgramText read = readProgramText(path, withName(), link_.session().language(), givenHeader);
  if (!announceProgramText(link_, read)) return false;
  const ProgramFile& file = read.file;
  if (!takeFileHeader(file, path, emptyNameForX00)) return false;
  showFileLines(file);
  return true;
}

// The number and name of a file read; false (reported) when the file cannot
// be used. The page's program is cleared once the file opened.
bool NcOperations::takeFileHeader(const ProgramFile& file, const std::string& path, bool emptyNameForX00) {
  if (file.status == ProgramFileStatus::kCannotOpen || file.status == ProgramFileStatus::kRefused) {
    reportFileStatus(file, path);
    host_.beep();
    return false;
  }
  page_.clearProgram();
  if (file.status == ProgramFileStatus::kNoNumberLine || file.status == ProgramFileStatus::kBadNumber) {
    reportFileStatus(file, path);
    return false;
  }
  page_.setProgramNumber(file.number);
  if (file.status != ProgramFileStatus::kRead) {
    reportFileStatus(file, path);
    return false;
  }
  if (withName()) setProgramName(file.name);
  else if (emptyNameForX00) page_.setProgramName({});
  return true;
}

// Why a program file cannot be taken, for every status but kRead.
void NcOperations::reportFileStatus(const ProgramFile& file, const std::string& path) {
  const int language = session_.language();
  switch (file.status) {
    case ProgramFileStatus::kCannotOpen:
      report(0, fileErrorText(language, file.error, path, kProgramFileLimit));
      break;
    case ProgramFileStatus::kNoNumberLine:
      report(0, ncText(language, NcText::kNoNumberLine));
      break;
    case ProgramFileStatus::kBadNumber:
      report(msg::kBadNumber);
      break;
    case ProgramFileStatus::kNoNameLine:
      report(0, ncText(language, NcText::kNoNameLine));
      break;
    case ProgramFileStatus::kNameTooLong:
      report(msg::kNameTooLong);
      break;
    case ProgramFileStatus::kRefused:
      report(0, path + ": " + lineProblemText(language, *file.problem, Refused::kOpen));
      break;
    case ProgramFileStatus::kRead:
      break;
  }
}

// The file's program lines into the editor, with the summary of the read.
void NcOperations::showFileLines(const ProgramFile& file) {
  page_.setProgramLines(file.lines);
  if (file.unfilledCount) {
    report(0, ncText(session_.language(), NcText::kGapNotFilled, {}, static_cast<long>(file.firstUnfilledFileLine)));
  }
  page_.focusEditor();
  report(0, text(msg::kLines) + ":" + std::to_string(file.lines.size()));
  report(msg::kFileRead);
  page_.scrollEditorToTop();
}

// ---------------------------------------------------------------- transfers

bool NcOperations::send() {
  begin();
  // What goes out is read here, once: the waits let the page be edited.
  const std::vector<std::string> lines = page_.programLines();
  const int number = page_.programNumber();
  const std::string name = programName();
  if (lines.empty()) {
    report(msg::kProgramEditorEmpty);
    host_.beep();
    return false;
  }
  // Refused before the port opens and before the question: a line the
  // controller cannot take would leave half a program behind, after the old
  // one was deleted.
  if (refuseUnsendable(lines, name)) return false;
  host_.beep();
  if (!host_.confirm(question(msg::kSendQuestion, number, true, name))) return false;

  // Existence query.
  if (!link_.openSelectedPort()) return false;
  report(msg::kCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!link_.TransToQXR(ncframe::number(number))) return false;
  // A refusal (or no answer) means that the program is absent; noise or an
  // echo says nothing about it.
  const bool exists = link_.ReceiveFromQXR(kReplyLength, 0);
  if (link_.lineFault()) return false;
  if (exists) {
    if (!sendExpect(ncframe::kAck)) return false;
    takeControllerName();
    link_.closePort();
    if (host_.confirm(question(msg::kExistsQuestion, number, true, controllerName_))) {
      if (!link_.openSelectedPort()) return false;
      if (!deleteOnController(controllerName_, number)) return false;
    }
  }

  // Store.
  link_.closePort();
  link_.DelayMs(kStorePauseMs);
  if (!link_.openSelectedPort()) return false;
  report(msg::kStoring);
  if (!storeProgram(lines, number, name)) {
    offerPartialDelete(number, name, static_cast<long>(lines.size()));
    return false;
  }
  link_.closePort();
  return true;
}

bool NcOperations::receive() {
  begin();
  const int number = page_.programNumber();
  host_.beep();
  if (!host_.confirm(question(msg::kReceiveQuestion, number, false, {}))) return false;
  if (!link_.openSelectedPort()) return false;
  report(msg::kCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!link_.TransToQXR(ncframe::kAck)) return false;
  // From here the editor shows the program as it comes; a receive that does
  // not end puts back what the page held, so that a program cut short never
  // passes for the controller's (nor is saved under the name of the file
  // that was open).
  const PageState before = pageState();
  if (!withName()) page_.setProgramName({});
  page_.clearProgram();
  std::size_t replies = 0;
  if (readProgramLines(withName(), replies) != ReadOutcome::kFinished) {
    restorePage(before);
    return false;
  }
  report(msg::kReceiveFinished);
  link_.closePort();
  page_.scrollEditorToTop();
  return true;
}

bool NcOperations::deleteProgram() {
  begin();
  const int number = page_.programNumber();
  std::string name = programName();
  if (!link_.openSelectedPort()) return false;
  report(msg::kCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!sendExpect(ncframe::kAck)) return false;
  // The name is the controller's when it reports one; it is shown on the page.
  takeControllerName();
  if (!replyIsAttention()) {
    name = controllerName_;
    page_.setProgramName(name);
  }
  link_.closePort();
  if (!host_.confirm(question(msg::kDeleteQuestion, number, true, name))) {
    report(msg::kDeleteCancelled);
    return false;
  }
  if (!link_.openSelectedPort()) return false;
  const bool deleted = deleteOnController(name, number);
  if (!deleted) return false;
  const bool confirmed = link_.reply() == ncframe::kDeleted;
  link_.closePort();
  return confirmed;
}

// ---------------------------------------------------------------- batches

// Every way out of a batch closes the port, so that a batch ended by a bad
// file does not keep the port from the next operation or another program.
namespace {
struct PortCloser {
  Link& link;
  ~PortCloser() { link.closePort(); }
};

// The last line of a batch (after the port's closing), on every way out once
// it began: how many
// programs went through, were absent, and failed or were not reached.
class BatchSummary {
 public:
  BatchSummary(Link& link, int language, NcText text, long total)
      : link_(link), language_(language), text_(text), total_(total) {}
  ~BatchSummary() {
    const long failed = total_ - done - absent;
    link_.ShowPageMessage(0, text_ == NcText::kWriteManySummary ? ncText(language_, text_, {}, done, failed)
                                                                 : ncText(language_, text_, {}, done, absent, failed));
  }
  BatchSummary(const BatchSummary&) = delete;
  BatchSummary& operator=(const BatchSummary&) = delete;
  long done = 0;
  long absent = 0;

 private:
  Link& link_;
  int language_;
  NcText text_;
  long total_;
};
}  // namespace

// The port stays open for a whole batch. Whatever the controller still sends
// about the last program (an answer to its final acknowledgement, say) is no
// answer to the next program's frames, and read as one it would put every
// reply after it a step behind: a file would get the name as a program line.
void NcOperations::discardStaleInput() { port_.PurgeIn(); }

// Where a batch read puts its files, checked before the port opens: the
// prefix cannot lead out of the chosen directory, and its files can be made
// or replaced there.
bool NcOperations::checkBatchTarget(const MultipleChoice& choice) {
  const int language = session_.language();
  if (!isSafeBatchPrefix(choice.prefix)) {
    report(0, ncText(language, NcText::kBadPrefix, choice.prefix));
    host_.beep();
    return false;
  }
  const FileError error = checkOutputDirectory(choice.directory);
  if (error != FileError::kNone) {
    report(0, fileErrorText(language, error, choice.directory));
    host_.beep();
    return false;
  }
  // And each file the batch would write can be replaced or made.
  for (int index = 0; index < kBatchProgramCount; ++index) {
    if (!choice.programs[index]) continue;
    const std::string path = joinPath(choice.directory, batchFileName(choice.prefix, index + 1));
    if (const FileError fileError = checkSaveTarget(path); fileError != FileError::kNone) {
      report(0, fileErrorText(language, fileError, path));
      host_.beep();
      return false;
    }
  }
  return true;
}

// Tells the batch's listener that a program begins and, on every way out of
// its turn, how it ended (failed unless said otherwise).
class BatchProgramTurn {
 public:
  BatchProgramTurn(const NcOperations& operations) : operations_(operations) {
    if (operations_.onBatchProgramBegin) operations_.onBatchProgramBegin();
  }
  ~BatchProgramTurn() {
    if (operations_.onBatchProgramEnd) operations_.onBatchProgramEnd(end);
  }
  BatchProgramTurn(const BatchProgramTurn&) = delete;
  BatchProgramTurn& operator=(const BatchProgramTurn&) = delete;
  BatchProgramEnd end;

 private:
  const NcOperations& operations_;
};

bool NcOperations::readMany(const MultipleChoice& choice) {
  begin();
  if (!checkBatchTarget(choice)) return false;
  const int language = session_.language();
  int total = 0;
  for (bool on : choice.programs) total += on;
  BatchSummary summary(link_, language, NcText::kReadManySummary, total);
  PortCloser closer{link_};
  if (!link_.openSelectedPort()) return false;
  int done = 0;
  for (int index = 0; index < kBatchProgramCount; ++index) {
    if (!choice.programs[index]) continue;
    const int number = index + 1;
    BatchProgramTurn turn(*this);
    turn.end.number = number;
    page_.clearMessages();
    report(0, ncText(language, NcText::kBatchProgress, {}, ++done, total));
    // A program that did not answer in time has closed the port; the batch
    // goes on with this one on the port opened again.
    if (!link_.portOpen() && !link_.openSelectedPort()) return false;
    report(msg::kCommunicating);
    discardStaleInput();
    if (!link_.TransToQXR(ncframe::kAttention)) return false;
    link_.ReceiveQXRProgNo(kReplyLength, 0);
    // No answer even to the attention frame: asking on would only wait again.
    if (!link_.portOpen()) return false;
    if (!link_.TransToQXR(ncframe::kLookUp) || !link_.ReceiveFromQXR(kReplyLength, 1)) return false;
    // The page as the last program (or the operator) left it: put back when
    // this program does not arrive whole.
    const PageState before = pageState();
    page_.setProgramNumber(number);
    if (!link_.TransToQXR(ncframe::number(number))) return false;
    if (!link_.ReceiveQXRProgNo(kReplyLength, 1)) {
      if (link_.lineFault()) return false;
      report(0, missingProgramLine(number));
      ++summary.absent;
      turn.end.result = BatchProgramEnd::Result::kAbsent;
      continue;
    }
    if (!link_.TransToQXR(ncframe::kAck)) return false;
    // The name is emptied for both generations, so that a program that
    // arrives without one never takes the previous program's name into its file.
    page_.setProgramName({});
    page_.clearProgram();
    std::size_t replies = 0;
    const ReadOutcome outcome = readProgramLines(withName(), replies);
    if (outcome == ReadOutcome::kFailed) {
      restorePage(before);
      return false;
    }
    if (outcome == ReadOutcome::kNoReply) report(0, missingProgramLine(number));
    report(msg::kReceiveFinished);
    page_.scrollEditorToTop();
    if (outcome == ReadOutcome::kNoReply) {
      // Nothing arrived: an existing file must not be replaced by an empty program.
      ++summary.absent;
      turn.end.result = BatchProgramEnd::Result::kAbsent;
      continue;
    }
    report(msg::kWritingFile);
    const std::string path = joinPath(choice.directory, batchFileName(choice.prefix, number));
    page_.setFileLabel(text(msg::kFileLabel) + path);
    FileError error = FileError::kNone;
    // What arrived, not what the page shows now: the waits let it be edited.
    if (!writeProgramFile(path, number, received_.name, withName(), received_.lines, &error)) {
      report(0, fileErrorText(language, error, path));
      host_.beep();
      return false;
    }
    report(msg::kFileSaved);
    ++summary.done;
    turn.end.name = received_.name;
    turn.end.lines = received_.lines;
    turn.end.path = path;
    turn.end.result = BatchProgramEnd::Result::kFinished;
  }
  return summary.done == total;
}

// Whether a program file read for sending can be sent whole; the reason is
// reported when it cannot. The page is left as it is.
bool NcOperations::checkProgramFile(const ProgramFile& file, const std::string& path) {
  if (file.status != ProgramFileStatus::kRead) {
    reportFileStatus(file, path);
    return false;
  }
  const int language = session_.language();
  const std::optional<LineProblem> problem =
      checkProgramForController(file.lines, nameRule(file.name), withName());
  if (problem) {
    report(0, lineProblemText(language, *problem));
    return false;
  }
  return true;
}

// Every chosen file of a batch write is read and checked before the port
// opens: a file that cannot be sent ends the batch before its first frame,
// not after the programs before it have replaced the controller's. The
// fingerprints tell, at the file's turn, that it is still what was checked.
// Every check of a file to be sent belongs in checkProgramFile.
bool NcOperations::checkBatchFiles(const MultipleChoice& choice, std::vector<std::uint64_t>& fingerprints) {
  fingerprints.clear();
  for (const std::string& name : choice.files) {
    const std::string path = joinPath(choice.directory, name);
    const ProgramText read = readProgramText(path, withName(), session_.language());
    const ProgramFile& file = read.file;
    if (!announceProgramText(link_, read, false) || !checkProgramFile(file, path)) {
      report(0, ncText(session_.language(), NcText::kBatchFileRefused, path));
      host_.beep();
      return false;
    }
    fingerprints.push_back(file.fingerprint);
  }
  return true;
}

bool NcOperations::writeMany(const MultipleChoice& choice, bool inquire) {
  begin();
  std::vector<std::uint64_t> fingerprints;
  if (!checkBatchFiles(choice, fingerprints)) return false;
  const int language = session_.language();
  const long total = static_cast<long>(choice.files.size());
  BatchSummary summary(link_, language, NcText::kWriteManySummary, total);
  PortCloser closer{link_};
  if (!link_.openSelectedPort()) return false;
  long done = 0;
  for (std::size_t k = 0; k < choice.files.size(); ++k) {
    BatchProgramTurn turn(*this);
    page_.clearMessages();
    report(0, ncText(language, NcText::kBatchProgress, {}, ++done, total));
    const std::string path = joinPath(choice.directory, choice.files[k]);
    turn.end.path = path;
    report(msg::kReadingFile);
    page_.setFileLabel(text(msg::kFileLabel) + path);
    const ProgramText read = readProgramText(path, withName(), language);
    const ProgramFile& file = read.file;
    if (file.status != ProgramFileStatus::kCannotOpen && file.fingerprint != fingerprints[k]) {
      report(0, ncText(language, NcText::kBatchFileChanged, path));
      host_.beep();
      return false;
    }
    if (!announceProgramText(link_, read)) return false;
    if (!takeFileHeader(file, path, false)) return false;
    const int number = file.number;
    // The name the program is stored under, taken once: the page's field can
    // be edited during the waits.
    const std::string name = withName() ? nameRule(file.name) : programName();
    // Checked before the first frame for this program, so that the
    // controller's copy is never deleted for a program that cannot follow.
    if (refuseUnsendable(file.lines, name)) return false;
    turn.end.number = number;
    turn.end.name = name;
    turn.end.lines = file.lines;

    if (!link_.portOpen() && !link_.openSelectedPort()) return false;
    report(msg::kCommunicating);
    discardStaleInput();
    if (!sendIgnore(ncframe::kAttention)) return false;
    if (!sendExpect(ncframe::kLookUp)) return false;
    if (!link_.TransToQXR(ncframe::number(number))) return false;
    const bool exists = link_.ReceiveFromQXR(kReplyLength, 0);
    if (link_.lineFault()) return false;
    if (exists) {
      if (!sendExpect(ncframe::kAck)) return false;
      takeControllerName();
      const bool remove = !inquire || host_.confirm(question(msg::kExistsQuestion, number, true, controllerName_));
      if (remove && !deleteOnController(controllerName_, number)) return false;
    } else if (!link_.portOpen()) {
      // No answer at all: taken as absent, and stored on the port opened again.
      if (!link_.openSelectedPort()) return false;
    }
    link_.DelayMs(kStorePauseMs);
    {
      HiddenEditor hidden(page_);
      showFileLines(file);
    }
    report(msg::kStoring);
    if (!storeProgram(file.lines, number, name)) {
      offerPartialDelete(number, name, static_cast<long>(file.lines.size()));
      return false;
    }
    ++summary.done;
    turn.end.result = BatchProgramEnd::Result::kFinished;
  }
  return true;
}

}  // namespace qxr
