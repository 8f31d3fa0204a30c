#include "service/servicehost.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "base/bilingual.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "base/linecheck.h"
#include "base/messages.h"
#include "link/comm.h"
#include "link/link.h"
#include "nc/ncfile.h"
#include "nc/ncops.h"
#include "nc/programcompare.h"
#include "nc/programtext.h"

namespace qxr {

namespace {

constexpr int kEnglish = 1;

std::string numberRefusal(int number) {
  return "number must be a program number from 1 to 99, not " + std::to_string(number);
}

// Why UTF-8 text cannot go into the code page: the line and the character.
std::string codePageRefusal(std::string_view what, std::string_view utf8, std::size_t at, int language) {
  if (!isValidUtf8(utf8)) return std::string(what) + " is not UTF-8 text";
  std::size_t line = 1;
  for (std::size_t i = 0; i < at; ++i) line += utf8[i] == '\n';
  return std::string(what) + (what == "text" ? " line " + std::to_string(line) : std::string()) + " holds \"" +
         std::string(utf8.substr(at, utf8CharLength(utf8, at))) + "\", which the controller's code page (" +
         codePageName(language) + ") lacks";
}

// A refusal of plain text as said of a file, said of the request's text.
std::string withoutFileWords(std::string reason) {
  constexpr std::string_view kNotRead = ": the file was not read";
  if (reason.size() >= kNotRead.size() && reason.compare(reason.size() - kNotRead.size(), kNotRead.size(), kNotRead) == 0)
    reason.resize(reason.size() - kNotRead.size());
  if (reason.rfind("File line", 0) == 0) reason.replace(0, 4, "Text");
  return reason;
}

// Why a program text in the numbered format was not read (plain text says
// its own reason).
std::string fileStatusRefusal(const ProgramFile& file) {
  switch (file.status) {
    case ProgramFileStatus::kNoNumberLine: return "the program text is empty";
    case ProgramFileStatus::kBadNumber: return numberRefusal(file.number) + " (the text's number line)";
    case ProgramFileStatus::kNoNameLine: return "the program text ends after its number line: no name line";
    case ProgramFileStatus::kNameTooLong: return "the text's name line is longer than 8 characters";
    case ProgramFileStatus::kRefused:
      return file.problem ? withoutFileWords(lineProblemText(kEnglish, *file.problem, Refused::kOpen))
                          : "the program text was refused";
    case ProgramFileStatus::kCannotOpen: return "the program text cannot be read";
    case ProgramFileStatus::kRead: break;
  }
  return {};
}

}  // namespace

std::optional<std::string> prepareJob(JobRequest request, const Machine& machine, PreparedJob& prepared) {
  const int language = request.language == 0 ? 0 : 1;
  request.language = language;
  const bool withName = machine.generation() == kGenerationX02;
  if (request.kind == JobKind::kReceive || request.number != 0) {
    if (!isValidProgramNumber(request.number)) return numberRefusal(request.number);
  }
  prepared = {};
  prepared.number = request.number;
  if (request.kind == JobKind::kReceive) {
    request.text.clear();
    request.name.reset();
    prepared.request = std::move(request);
    return std::nullopt;
  }
  GivenProgramHeader given;
  given.number = request.number;
  // A name means nothing to a controller without program names: it is left.
  if (request.name && withName) {
    std::size_t lost = std::string::npos;
    std::string bytes = utf8ToBytes(*request.name, language, &lost);
    if (lost != std::string::npos) return codePageRefusal("name", *request.name, lost, language);
    if (findControlByte(bytes) != std::string::npos) return std::string("name holds a control character");
    if (bytes.size() > kProgramNameLength)
      return "name \"" + *request.name + "\" takes " + std::to_string(bytes.size()) +
             " bytes; the controller's name frame holds " + std::to_string(kProgramNameLength);
    given.name = std::move(bytes);
  }
  if (request.text.size() > kProgramFileLimit)
    return "text is larger than a program file may be (" + std::to_string(kProgramFileLimit) + " bytes)";
  std::size_t lost = std::string::npos;
  const std::string bytes = utf8ToBytes(request.text, language, &lost);
  if (lost != std::string::npos) return codePageRefusal("text", request.text, lost, language);
  ProgramText read = parseProgramText(bytes, withName, language, given);
  if (read.refused()) return withoutFileWords(programTextRefusal(kEnglish, read));
  if (read.file.status != ProgramFileStatus::kRead) return fileStatusRefusal(read.file);
  if (read.file.lines.empty()) return std::string("the program has no lines");
  if (!withName) read.file.name.clear();
  // The same checks a send makes before its port opens, made before the job waits.
  std::optional<LineProblem> problem = checkProgramBound(read.file.lines);
  if (!problem) problem = checkProgramForController(read.file.lines, read.file.name, withName);
  if (problem) return lineProblemText(kEnglish, *problem, Refused::kSend);
  prepared.number = read.file.number;
  prepared.name = read.file.name;
  prepared.nameCounts = withName && (!read.plain() || read.nameFromComment || read.nameGiven);
  prepared.lines = std::move(read.file.lines);
  prepared.summary = programTextSummary(language, read);
  request.text.clear();
  request.text.shrink_to_fit();
  prepared.request = std::move(request);
  return std::nullopt;
}

// ---------------------------------------------------------------- messages

void MessageLog::add(std::string message) {
  if (head_.size() < kHead) {
    head_.push_back(std::move(message));
    return;
  }
  tail_.push_back(std::move(message));
  if (tail_.size() > kTail) {
    tail_.pop_front();
    ++omitted_;
  }
}

std::vector<std::string> MessageLog::lines(int language) const {
  static constexpr TextPair kOmitted = {"... %d messages left out ...", "... 略去 %d 則訊息 ..."};
  std::vector<std::string> out(head_);
  if (omitted_) out.push_back(fillText(language, kOmitted, {}, {static_cast<long>(omitted_)}));
  out.insert(out.end(), tail_.begin(), tail_.end());
  return out;
}

void ServiceHost::appendPageLine(int, std::string_view line) {
  report_.message(displayUtf8(line, session_.language()));
}

bool ServiceHost::confirm(std::string_view question) {
  // The question's lines (a label per line) as one message.
  std::string text = displayUtf8(question, session_.language());
  std::string joined;
  for (const char ch : text) {
    if (ch != '\n') joined += ch;
    else if (!joined.empty() && joined.back() != ' ') joined += ' ';
  }
  const bool yes = !quitting_.load();
  report_.message(joined + (yes ? " -> OK" : " -> Cancel"));
  return yes;
}

void ServiceHost::notice(std::string_view text) { report_.message(displayUtf8(text, session_.language())); }

void ServiceHost::showTransferProgress(const ProgressSnapshot& progress) {
  if (report_.progress) report_.progress(progress);
}

// ---------------------------------------------------------------- library

std::string safeFileName(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    const bool unsafe = byte < 0x20 || byte == 0x7F || std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos;
    out += unsafe ? '_' : ch;
  }
  // No hidden file, no "." or "..", no blanks at the ends.
  const std::size_t first = out.find_first_not_of(". ");
  out = first == std::string::npos ? std::string() : out.substr(first);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "_" : out;
}

std::string libraryFileName(int number, std::string_view nameUtf8) {
  char word[16];
  std::snprintf(word, sizeof word, "O%04d", number);
  std::string name(nameUtf8);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.empty() ? std::string(word) + ".nc" : std::string(word) + " " + safeFileName(name) + ".nc";
}

std::string unusedPath(const std::string& dir, const std::string& fileName) {
  namespace fs = std::filesystem;
  const std::size_t dot = fileName.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
  const std::string extension = stem.size() == fileName.size() ? std::string() : fileName.substr(dot);
  std::string path = (fs::path(dir) / fileName).string();
  std::error_code error;
  for (int n = 2; fs::exists(fs::symlink_status(path, error)); ++n)
    path = (fs::path(dir) / (stem + " (" + std::to_string(n) + ")" + extension)).string();
  return path;
}

namespace {

// Saves a received program as plain text in the machine's library folder,
// never over an earlier file; the path, or empty with `error` set.
std::string saveToLibrary(const std::string& libraryDir, const Machine& machine, int number, const std::string& name,
                          const std::string& nameUtf8, const std::vector<std::string>& lines, FileError& error) {
  // One save at a time in this process: two receives never choose one name.
  static std::mutex saving;
  std::lock_guard lock(saving);
  const std::string dir = (std::filesystem::path(libraryDir) / safeFileName(machine.name)).string();
  std::error_code made;
  std::filesystem::create_directories(dir, made);
  error = checkOutputDirectory(dir);
  if (error != FileError::kNone) return dir;
  const std::string path = unusedPath(dir, libraryFileName(number, nameUtf8));
  if (!writePlainProgramFile(path, number, name, lines, &error)) return path;
  return path;
}

std::string operationName(JobKind kind) { return std::string("nc ") + jobKindName(kind); }

bool startsWith(std::string_view text, std::string_view start) {
  return !start.empty() && text.substr(0, start.size()) == start;
}

}  // namespace

JobOutcome runJob(const PreparedJob& job, const Machine& machine, const JobPlace& place, ServiceHost::Report report,
                  JobControl& control, const std::atomic<bool>& quitting) {
  Session session = *place.session;
  applyMachine(machine, session);
  const int language = session.language();
  // The journal's message is the last page message; a port that does not
  // open or a controller that never answers is told by its own.
  std::string lastMessage, faultMessage;
  const std::string notOpened = displayUtf8(session.msg(msg::kPortNotOpened), language);
  const std::string timedOut = displayUtf8(session.msg(msg::kTimeOut), language);
  report.message = [&, tell = std::move(report.message)](std::string text) {
    lastMessage = text;
    if (startsWith(text, notOpened) || startsWith(text, timedOut)) faultMessage = text;
    tell(std::move(text));
  };
  ServiceHost host(session, std::move(report), control.stop, quitting);
  if (const auto index = machinePortIndex(machine)) host.portIndex = *index;
  else host.portAddress = machineNamedPort(machine);
  TComm port;
  port.SetPortDirectory(session.startDir);
  Link link(port, session, host, SystemClock::instance());
  MemoryNcPage page;
  page.gen = machine.generation();
  page.number = job.number;
  NcOperations operations(operationParts(link), page);

  JobOutcome outcome;
  const TransferPlace where{job.request.user, place.hostName, machine.name, machine.port,
                            std::string(kModelNames[machine.modelIndex]) + " " + kVersionNames[machine.versionIndex]};
  JournalRecorder journal(place.journal, where, operationName(job.request.kind));
  outcome.journalId = journal.record().id;
  if (outcome.journalId != 0 && place.recordBegun) place.recordBegun(outcome.journalId);
  const std::string nameUtf8 = bytesToUtf8(job.name, language);
  journal.setProgram(job.number, nameUtf8);
  if (!job.summary.empty()) link.ShowPageMessage(0, job.summary);

  bool ok = false;
  TransferResult result = TransferResult::kFailed;
  switch (job.request.kind) {
    case JobKind::kSend:
      page.lines = job.lines;
      page.name = job.name;
      journal.setLines(job.lines);
      ok = operations.send();
      break;
    case JobKind::kReceive: {
      ok = operations.receive() && !control.asked.load();  // a stopped receive keeps no file
      outcome.name = bytesToUtf8(page.name, language);
      journal.setProgram(job.number, outcome.name);
      if (!page.lines.empty()) journal.setLines(page.lines);
      if (!ok) break;
      FileError error = FileError::kNone;
      const std::string path =
          saveToLibrary(place.libraryDir, machine, job.number, page.name, outcome.name, page.lines, error);
      if (error != FileError::kNone) {
        ok = false;
        link.ShowPageMessage(0, fileErrorText(language, error, path));
        break;
      }
      journal.setPath(path);
      outcome.libraryPath = path;
      outcome.programText = bytesToUtf8(plainProgramText(job.number, page.name, page.lines), language);
      break;
    }
    case JobKind::kCompare: {
      const ControllerComparison comparison =
          compareWithController(link, page.gen, job.number, job.lines,
                                job.nameCounts ? std::optional<std::string_view>(job.name) : std::nullopt);
      if (!comparison.received) break;
      journal.setLines(comparison.controllerLines);  // what the controller holds
      link.ShowPageMessage(0, comparisonText(language, job.number, comparison, job.lines, job.name));
      outcome.same = comparison.same();
      ok = true;
      // As qxrtool records it: a program that differs is a failed comparison.
      result = comparison.same() ? TransferResult::kFinished : TransferResult::kFailed;
      break;
    }
  }
  if (ok) {
    outcome.state = JobState::kFinished;
    if (job.request.kind != JobKind::kCompare) result = TransferResult::kFinished;
  } else if (control.asked.load()) {
    outcome.state = JobState::kStopped;
    result = TransferResult::kStopped;
  } else if (port.BytesRead() == 0) {
    // Nothing on the line ever answered, or the port did not open.
    outcome.unreachable = faultMessage.empty() ? lastMessage : faultMessage;
  }
  journal.finish(result, lastMessage);
  if (outcome.journalId != 0 && place.recordEnded) place.recordEnded(outcome.journalId);
  return outcome;
}

}  // namespace qxr
