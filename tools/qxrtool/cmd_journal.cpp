// The journal of this run's transfers, and `qxrtool journal`:
//   journal [--machine M] [--program N] [--result R] [--since DATE] [--until DATE] [--limit N] [--json]
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/fileio.h"
#include "base/session.h"
#include "base/codec.h"
#include "base/textio.h"
#include "nc/multiple.h"
#include "ncjournal.h"
#include "shop/machines.h"
#include "shop/statedir.h"
#include "tool.h"

namespace qxr {

namespace {

// The file a parameter or PLC command reads or writes: -o's value, else its
// first plain argument.
std::string fileArgument(const Args& args) {
  std::string output, first;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      if (i + 1 < args.size() && first.empty()) first = args[i + 1];
      break;
    }
    if ((arg == "-o" || arg == "--out") && i + 1 < args.size()) {
      output = args[++i];
    } else if ((arg == "--model" || arg == "--version") && i + 1 < args.size()) {
      ++i;
    } else if (arg.empty() || arg[0] != '-') {
      if (first.empty()) first = arg;
    }
  }
  return output.empty() ? first : output;
}

long countLines(const std::string& bytes) {
  long lines = 0;
  for (const char ch : bytes) lines += ch == '\n';
  if (!bytes.empty() && bytes.back() != '\n') ++lines;
  return lines;
}

}  // namespace

Journal* ToolContext::journal() {
  if (!journal_) {
    const MachineFile machines = MachineFile::load(session.startDir);
    journal_ = std::make_unique<Journal>(journalPathFor(stateEnvironment(), machines.journalPath(), session.startDir));
    journal_->setProblemHandler([](const std::string& problem) {
      std::fprintf(stderr, "qxrtool: warning: %s; transfers are not recorded\n", problem.c_str());
    });
  }
  return journal_.get();
}

TransferPlace ToolContext::place() const {
  TransferPlace place = localTransferPlace();
  place.machine = machineName;
  place.port = host.portAddress.empty() ? "COM" + std::to_string(host.portIndex + 1) : host.portAddress;
  place.model = std::string(kModelNames[session.modelIndex]) + " " + kVersionNames[session.versionIndex];
  return place;
}

int finishTransfer(ToolContext& context, JournalRecorder& recorder, int code) {
  const TransferResult result = stopSignalNumber() != 0 ? TransferResult::kStopped
                                : code == kExitOk     ? TransferResult::kFinished
                                                      : TransferResult::kFailed;
  recorder.finish(result, context.host.lastLine);
  return code;
}

int recordFileTransfer(ToolContext& context, const std::string& operation, const Args& args,
                       int (*run)(ToolContext&, const Args&)) {
  JournalRecorder recorder(context.journal(), context.place(), operation);
  const int code = run(context, args);
  const std::string path = fileArgument(args);
  if (!path.empty()) recorder.setPath(path);
  // What was sent, or what arrived once it is written; a failed receive
  // leaves the old file, which is not what arrived.
  const bool receive = operation.find("receive") != std::string::npos;
  std::string bytes;
  if (!path.empty() && (!receive || code == kExitOk) &&
      readFileChecked(path, kProgramFileLimit, bytes) == FileError::kNone)
    recorder.setBytes(bytes, countLines(bytes));
  if (code == kExitUsage) recorder.discard();
  return finishTransfer(context, recorder, code);
}

int runJournalCommand(ToolContext& context, const Args& args) {
  JournalFilter filter;
  filter.machine = context.machineName;
  bool json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--json") {
      json = true;
    } else if (arg.rfind("--", 0) == 0 && isJournalFilter(arg.substr(2)) && hasValue) {
      const std::string why = setJournalFilter(filter, arg.substr(2), args[++i]);
      if (!why.empty()) return usageError(arg + " " + why);
    } else {
      return usageError("journal: unexpected argument " + arg);
    }
  }
  Journal* journal = context.journal();
  journal->setProblemHandler(nullptr);
  std::string error;
  const std::vector<TransferRecord> records = journal->query(filter, &error);
  if (!error.empty()) {
    std::fprintf(stderr, "qxrtool: %s\n", error.c_str());
    return kExitFailed;
  }
  for (const TransferRecord& r : records) {
    if (json) {
      std::printf("%s\n", transferRecordJson(r).c_str());
      continue;
    }
    const std::string program = r.program > 0 ? "O" + std::to_string(r.program) : "-";
    std::printf("%s  %-8s  %-12s  %-14s  %-4s %-8s  %5ld lines  %.12s  %s  %s\n", r.started.c_str(),
                transferResultName(r.result), r.machine.empty() ? r.port.c_str() : r.machine.c_str(),
                r.operation.c_str(), program.c_str(), r.programName.c_str(), r.lines,
                r.sha256.empty() ? "-" : r.sha256.c_str(), r.path.empty() ? "-" : r.path.c_str(), r.message.c_str());
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace qxr

// ------------------------------------------------------------ nc batches

namespace qxr {

BatchJournal::BatchJournal(ToolContext& context, NcOperations& operations, std::string operation,
                           std::string firstFile)
    : context_(context), operation_(std::move(operation)), firstFile_(std::move(firstFile)) {
  operations.onBatchProgramBegin = [this] {
    ++started_;
    current_ = std::make_unique<JournalRecorder>(context_.journal(), context_.place(), operation_);
  };
  operations.onBatchProgramEnd = [this](const BatchProgramEnd& end) {
    if (!current_) return;
    if (!end.path.empty()) current_->setPath(end.path);
    if (end.number != 0) current_->setProgram(end.number, end.name);
    if (!end.lines.empty()) current_->setLines(end.lines);
    finishTransfer(context_, *current_, end.result == BatchProgramEnd::Result::kFinished ? kExitOk : kExitFailed);
    current_.reset();
  };
}

int BatchJournal::end(int code) {
  if (started_ == 0 && code != kExitUsage) {
    // Refused before its first program (a file that cannot be sent, a folder
    // that cannot be written): one record of the batch.
    JournalRecorder recorder(context_.journal(), context_.place(), operation_);
    if (!firstFile_.empty()) recorder.setPath(firstFile_);
    finishTransfer(context_, recorder, code);
  }
  return code;
}

}  // namespace qxr
