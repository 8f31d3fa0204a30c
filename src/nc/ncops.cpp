#include "nc/ncops.h"

#include <cstdio>

#include "base/linecheck.h"
#include "base/fileio.h"
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

// Catalogue messages of the program page.
enum : int {
  kMsgFileLabel = 35,
  kMsgProgramNoLabel = 14,
  kMsgProgramNameLabel = 15,
  kMsgStoring = 105,
  kMsgTransferFinished = 106,
  kMsgCommunicating = 108,
  kMsgReceiveFinished = 109,
  kMsgReadingFile = 111,
  kMsgBadNumber = 112,
  kMsgNameTooLong = 113,
  kMsgLines = 114,
  kMsgFileRead = 115,
  kMsgWritingFile = 116,
  kMsgFileSaved = 117,
  kMsgEditorEmpty = 121,
  kMsgSendQuestion = 123,
  kMsgReceiveQuestion = 124,
  kMsgDeleteQuestion = 125,
  kMsgDeleteCancelled = 126,
  kMsgDeleting = 127,
  kMsgDeleted = 128,
  kMsgNotDeleted = 129,
  kMsgExistsQuestion = 130,
};

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

NcOperations::NcOperations(Link& link, NcPage& page) : link_(link), page_(page) {}

bool NcOperations::withName() const { return page_.generation() == kGenerationX02; }

// Names pass the one name rule on their way into the page and out of it, so
// that the window and qxrtool put the same name on the wire and in files.
std::string NcOperations::programName() const {
  return programNameRule(page_.programName(), link_.session().language());
}
std::string NcOperations::tmpProgramName() const {
  return programNameRule(page_.tmpProgramName(), link_.session().language());
}
void NcOperations::setProgramName(std::string_view name) {
  page_.setProgramName(programNameRule(name, link_.session().language()));
}
void NcOperations::setTmpProgramName(std::string_view name) {
  page_.setTmpProgramName(programNameRule(name, link_.session().language()));
}

std::string NcOperations::text(int catalogueNumber) const { return link_.session().msg(catalogueNumber); }

void NcOperations::report(int catalogueNumber, std::string_view text) {
  link_.ShowPageMessage(catalogueNumber, text);
}

std::string NcOperations::question(int catalogueNumber, bool withNameLine, std::string_view shownName) const {
  std::string q = text(catalogueNumber) + "\n\n" + text(kMsgProgramNoLabel) + ":" + twoDigits(page_.programNumber());
  if (withNameLine) {
    q += "\n" + text(kMsgProgramNameLabel) + ":";
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
      link_.failReceive(linkText(link_.session().language(), LinkText::kLineTooLong, {},
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
  const std::optional<LineProblem> problem = checkProgramForController(lines, name, withName());
  if (!problem) return false;
  report(0, lineProblemText(link_.session().language(), *problem));
  link_.beep();
  return true;
}

bool NcOperations::deleteOnController(std::string_view nameForFrame, int number) {
  report(kMsgDeleting);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kDelete)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!sendExpect(ncframe::name(nameForFrame))) return false;
  report(link_.reply() == ncframe::kDeleted ? kMsgDeleted : kMsgNotDeleted);
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
  const int language = link_.session().language();
  const long count = static_cast<long>(lines.size());
  LinkProgress shown(link_, ProgressUnit::kLines, count);
  std::string frame;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    frame = numberedProgramLine(i, cutAt(lines[i], '\n'));
    report(0, frame);
    page_.showProgress(ncText(language, NcText::kSendProgress, {}, static_cast<long>(i) + 1, count));
    frame += "\r\n";
    if (!sendExpect(frame)) return false;
    storedLines_ = static_cast<long>(i) + 1;
    link_.setProgress(storedLines_);
  }
  report(kMsgTransferFinished);
  return true;
}

// The replies after the acknowledgement of a program number: the name first
// when one is expected, then one program line per reply until the attention
// frame; every reply is acknowledged, the last one too.
NcOperations::ReadOutcome NcOperations::readProgramLines(bool expectName, std::size_t& replies) {
  ProgressScope progress(page_);
  LinkProgress shown(link_, ProgressUnit::kLines, 0);
  const int language = link_.session().language();
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
        setProgramName(line);
        expectName = false;
      } else {
        // The controller's line number (up to the first blank) is dropped; a
        // line without a blank is kept whole rather than lost.
        if (lines == kReceivedProgramLineLimit) {
          link_.failReceive(linkText(language, LinkText::kTooManyLines, {}, kReceivedProgramLineLimit));
          return ReadOutcome::kFailed;
        }
        const auto blank = line.find(' ');
        page_.appendProgramLine(blank == std::string_view::npos ? line : line.substr(blank + 1));
        page_.showProgress(ncText(language, NcText::kReceiveProgress, {}, ++lines));
        link_.setProgress(lines);
      }
    }
    if (!link_.TransToQXR(ncframe::kAck)) return ReadOutcome::kFailed;
    if (last) return ReadOutcome::kFinished;
  }
}

void NcOperations::offerPartialDelete(int number, std::string_view name, long lineCount) {
  if (storedLines_ < 0 || !link_.stopped()) return;
  const int language = link_.session().language();
  report(0, controlText(language, ControlText::kPartialProgram, twoDigits(number), storedLines_, lineCount));
  if (!link_.host().confirm(controlText(language, ControlText::kDeletePartialQuestion, twoDigits(number)))) return;
  link_.host().clearStopRequest();
  if (link_.stopped() || !link_.openSelectedPort()) return;
  deleteOnController(name, number);
  link_.closePort();
}

// ---------------------------------------------------------------- files

bool NcOperations::writeFile(const std::string& path) {
  report(kMsgWritingFile);
  page_.setFileLabel(text(kMsgFileLabel) + path);
  FileError error = FileError::kNone;
  if (!writeProgramFile(path, page_.programNumber(), programName(), withName(), page_.programLines(),
                        &error)) {
    report(0, fileErrorText(link_.session().language(), error, path));
    link_.beep();
    return false;
  }
  report(kMsgFileSaved);
  return true;
}

bool NcOperations::readFile(const std::string& path) {
  HiddenEditor hidden(page_);
  report(kMsgReadingFile);
  page_.setFileLabel(text(kMsgFileLabel) + path);
  return applyFile(path, true);
}

// Reads a program file into the page: number, name, lines. emptyNameForX00:
// a file without a name line empties the name (the single read does; the
// batch leaves it).
bool NcOperations::applyFile(const std::string& path, bool emptyNameForX00) {
  ProgramFile file = readProgramFile(path, withName());
  if (!takeFileHeader(file, path, emptyNameForX00)) return false;
  showFileLines(file);
  return true;
}

// The number and name of a file read; false (reported) when the file cannot
// be used. The page's program is cleared once the file opened.
bool NcOperations::takeFileHeader(const ProgramFile& file, const std::string& path, bool emptyNameForX00) {
  if (file.status == ProgramFileStatus::kCannotOpen) {
    reportFileStatus(file, path);
    link_.beep();
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
  const int language = link_.session().language();
  switch (file.status) {
    case ProgramFileStatus::kCannotOpen:
      report(0, fileErrorText(language, file.error, path, kProgramFileLimit));
      break;
    case ProgramFileStatus::kNoNumberLine:
      report(0, ncText(language, NcText::kNoNumberLine));
      break;
    case ProgramFileStatus::kBadNumber:
      report(kMsgBadNumber);
      break;
    case ProgramFileStatus::kNoNameLine:
      report(0, ncText(language, NcText::kNoNameLine));
      break;
    case ProgramFileStatus::kNameTooLong:
      report(kMsgNameTooLong);
      break;
    case ProgramFileStatus::kRead:
      break;
  }
}

// The file's program lines into the editor, with the summary of the read.
void NcOperations::showFileLines(const ProgramFile& file) {
  page_.setProgramLines(file.lines);
  if (file.unfilledCount) {
    report(0, ncText(link_.session().language(), NcText::kGapNotFilled, {},
                     static_cast<long>(file.firstUnfilledFileLine)));
  }
  page_.focusEditor();
  report(0, text(kMsgLines) + ":" + std::to_string(file.lines.size()));
  report(kMsgFileRead);
  page_.scrollEditorToTop();
}

// ---------------------------------------------------------------- transfers

bool NcOperations::send() {
  const std::vector<std::string> lines = page_.programLines();
  if (lines.empty()) {
    report(kMsgEditorEmpty);
    link_.beep();
    return false;
  }
  // Refused before the port opens and before the question: a line the
  // controller cannot take would leave half a program behind, after the old
  // one was deleted.
  if (refuseUnsendable(lines, programName())) return false;
  link_.beep();
  if (!link_.host().confirm(question(kMsgSendQuestion, true, programName()))) return false;
  const int number = page_.programNumber();

  // Existence query.
  if (!link_.openSelectedPort()) return false;
  report(kMsgCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!link_.TransToQXR(ncframe::number(number))) return false;
  // A refusal (or no answer) means that the program is absent; noise or an
  // echo says nothing about it.
  const bool exists = link_.ReceiveFromQXR(kReplyLength, 0);
  if (link_.lineFault()) return false;
  if (exists) {
    if (!sendExpect(ncframe::kAck)) return false;
    if (!replyIsAttention()) setTmpProgramName(replyUpToLineEnd());
    link_.closePort();
    if (link_.host().confirm(question(kMsgExistsQuestion, true, tmpProgramName()))) {
      if (!link_.openSelectedPort()) return false;
      if (!deleteOnController(tmpProgramName(), number)) return false;
    }
  }

  // Store.
  link_.closePort();
  link_.DelayMs(kStorePauseMs);
  if (!link_.openSelectedPort()) return false;
  report(kMsgStoring);
  if (!storeProgram(lines, number, programName())) {
    offerPartialDelete(number, programName(), static_cast<long>(lines.size()));
    return false;
  }
  link_.closePort();
  return true;
}

bool NcOperations::receive() {
  link_.beep();
  if (!link_.host().confirm(question(kMsgReceiveQuestion, false, {}))) return false;
  const int number = page_.programNumber();
  if (!link_.openSelectedPort()) return false;
  report(kMsgCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!link_.TransToQXR(ncframe::kAck)) return false;
  if (!withName()) page_.setProgramName({});
  page_.clearProgram();
  std::size_t replies = 0;
  if (readProgramLines(withName(), replies) != ReadOutcome::kFinished) return false;
  report(kMsgReceiveFinished);
  link_.closePort();
  page_.scrollEditorToTop();
  return true;
}

bool NcOperations::deleteProgram() {
  const int number = page_.programNumber();
  if (!link_.openSelectedPort()) return false;
  report(kMsgCommunicating);
  if (!sendIgnore(ncframe::kAttention)) return false;
  if (!sendExpect(ncframe::kLookUp)) return false;
  if (!sendExpect(ncframe::number(number))) return false;
  if (!sendExpect(ncframe::kAck)) return false;
  if (!replyIsAttention()) setProgramName(replyUpToLineEnd());
  link_.closePort();
  if (!link_.host().confirm(question(kMsgDeleteQuestion, true, programName()))) {
    report(kMsgDeleteCancelled);
    return false;
  }
  if (!link_.openSelectedPort()) return false;
  const bool deleted = deleteOnController(programName(), number);
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
}  // namespace

// The port stays open for a whole batch. Whatever the controller still sends
// about the last program (an answer to its final acknowledgement, say) is no
// answer to the next program's frames, and read as one it would put every
// reply after it a step behind: a file would get the name as a program line.
void NcOperations::discardStaleInput() { link_.port().PurgeIn(); }

// Where a batch read puts its files, checked before the port opens: the
// prefix cannot lead out of the chosen directory, and files can be made there.
bool NcOperations::checkBatchTarget(const MultipleChoice& choice) {
  const int language = link_.session().language();
  if (!isSafeBatchPrefix(choice.prefix)) {
    report(0, ncText(language, NcText::kBadPrefix, choice.prefix));
    link_.beep();
    return false;
  }
  const FileError error = checkOutputDirectory(choice.directory);
  if (error != FileError::kNone) {
    report(0, fileErrorText(language, error, choice.directory));
    link_.beep();
    return false;
  }
  return true;
}

bool NcOperations::readMany(const MultipleChoice& choice) {
  if (!checkBatchTarget(choice)) return false;
  PortCloser closer{link_};
  if (!link_.openSelectedPort()) return false;
  const int language = link_.session().language();
  int total = 0;
  for (bool on : choice.programs) total += on;
  int done = 0;
  bool allWritten = true;
  for (int index = 0; index < kBatchProgramCount; ++index) {
    if (!choice.programs[index]) continue;
    const int number = index + 1;
    page_.clearMessages();
    report(0, ncText(language, NcText::kBatchProgress, {}, ++done, total));
    // A program that did not answer in time has closed the port; the batch
    // goes on with this one on the port opened again.
    if (!link_.portOpen() && !link_.openSelectedPort()) return false;
    report(kMsgCommunicating);
    discardStaleInput();
    if (!link_.TransToQXR(ncframe::kAttention)) return false;
    link_.ReceiveQXRProgNo(kReplyLength, 0);
    // No answer even to the attention frame: asking on would only wait again.
    if (!link_.portOpen()) return false;
    if (!link_.TransToQXR(ncframe::kLookUp) || !link_.ReceiveFromQXR(kReplyLength, 1)) return false;
    page_.setProgramNumber(number);
    if (!link_.TransToQXR(ncframe::number(number))) return false;
    if (!link_.ReceiveQXRProgNo(kReplyLength, 1)) {
      if (link_.lineFault()) return false;
      report(0, missingProgramLine(number));
      allWritten = false;
      continue;
    }
    if (!link_.TransToQXR(ncframe::kAck)) return false;
    // The name is emptied for both generations, so that a program that
    // arrives without one never takes the previous program's name into its file.
    page_.setProgramName({});
    page_.clearProgram();
    std::size_t replies = 0;
    const ReadOutcome outcome = readProgramLines(withName(), replies);
    if (outcome == ReadOutcome::kFailed) return false;
    if (outcome == ReadOutcome::kNoReply) report(0, missingProgramLine(number));
    report(kMsgReceiveFinished);
    page_.scrollEditorToTop();
    if (outcome == ReadOutcome::kNoReply) {
      // Nothing arrived: an existing file must not be replaced by an empty program.
      allWritten = false;
      continue;
    }
    report(kMsgWritingFile);
    const std::string path = joinPath(choice.directory, batchFileName(choice.prefix, number));
    page_.setFileLabel(text(kMsgFileLabel) + path);
    FileError error = FileError::kNone;
    if (!writeProgramFile(path, number, programName(), withName(), page_.programLines(), &error)) {
      report(0, fileErrorText(language, error, path));
      link_.beep();
      return false;
    }
    report(kMsgFileSaved);
  }
  return allWritten;
}

// Whether a program file read for sending can be sent whole; the reason is
// reported when it cannot. The page is left as it is.
bool NcOperations::checkProgramFile(const ProgramFile& file, const std::string& path) {
  if (file.status != ProgramFileStatus::kRead) {
    reportFileStatus(file, path);
    return false;
  }
  const int language = link_.session().language();
  const std::optional<LineProblem> problem =
      checkProgramForController(file.lines, programNameRule(file.name, language), withName());
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
    const ProgramFile file = readProgramFile(path, withName());
    if (!checkProgramFile(file, path)) {
      report(0, ncText(link_.session().language(), NcText::kBatchFileRefused, path));
      link_.beep();
      return false;
    }
    fingerprints.push_back(file.fingerprint);
  }
  return true;
}

bool NcOperations::writeMany(const MultipleChoice& choice, bool inquire) {
  std::vector<std::uint64_t> fingerprints;
  if (!checkBatchFiles(choice, fingerprints)) return false;
  PortCloser closer{link_};
  if (!link_.openSelectedPort()) return false;
  const int language = link_.session().language();
  const long total = static_cast<long>(choice.files.size());
  long done = 0;
  for (std::size_t k = 0; k < choice.files.size(); ++k) {
    page_.clearMessages();
    report(0, ncText(language, NcText::kBatchProgress, {}, ++done, total));
    const std::string path = joinPath(choice.directory, choice.files[k]);
    report(kMsgReadingFile);
    page_.setFileLabel(text(kMsgFileLabel) + path);
    const ProgramFile file = readProgramFile(path, withName());
    if (file.status != ProgramFileStatus::kCannotOpen && file.fingerprint != fingerprints[k]) {
      report(0, ncText(language, NcText::kBatchFileChanged, path));
      link_.beep();
      return false;
    }
    if (!takeFileHeader(file, path, false)) return false;
    const int number = file.number;
    // Checked before the first frame for this program, so that the
    // controller's copy is never deleted for a program that cannot follow.
    if (refuseUnsendable(file.lines, programName())) return false;

    if (!link_.portOpen() && !link_.openSelectedPort()) return false;
    report(kMsgCommunicating);
    discardStaleInput();
    if (!sendIgnore(ncframe::kAttention)) return false;
    if (!sendExpect(ncframe::kLookUp)) return false;
    if (!link_.TransToQXR(ncframe::number(number))) return false;
    const bool exists = link_.ReceiveFromQXR(kReplyLength, 0);
    if (link_.lineFault()) return false;
    if (exists) {
      if (!sendExpect(ncframe::kAck)) return false;
      if (!replyIsAttention()) setTmpProgramName(replyUpToLineEnd());
      const bool remove = !inquire || link_.host().confirm(question(kMsgExistsQuestion, true, tmpProgramName()));
      if (remove && !deleteOnController(tmpProgramName(), number)) return false;
    } else if (!link_.portOpen()) {
      // No answer at all: taken as absent, and stored on the port opened again.
      if (!link_.openSelectedPort()) return false;
    }
    link_.DelayMs(kStorePauseMs);
    {
      HiddenEditor hidden(page_);
      showFileLines(file);
    }
    report(kMsgStoring);
    if (!storeProgram(file.lines, number, programName())) {
      offerPartialDelete(number, programName(), static_cast<long>(file.lines.size()));
      return false;
    }
  }
  return true;
}

}  // namespace qxr
