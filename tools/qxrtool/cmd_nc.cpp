// nc send | receive | delete | read-many | write-many
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/textio.h"
#include "link/link.h"
#include "nc/ncfile.h"
#include "nc/ncops.h"
#include "nc/programcompare.h"
#include "ncjournal.h"
#include "tool.h"

namespace qxr {

namespace {

// The program page in memory; progress goes to a terminal on stderr only, so
// that stdout carries exactly the page messages.
class ToolNcPage final : public MemoryNcPage {
 public:
  void showProgress(std::string_view text) override {
    // The host shows the count, rate and time left on stderr.
    MemoryNcPage::showProgress(text);
  }
};

struct NcOptions {
  int generation = kGenerationX02;  // the machine's, when --machine chose one
  std::string output;  // receive: -o FILE; read-many: --out DIR
  std::string prefix;
  GivenProgramHeader given;  // --number, --name
  bool verify = false;
  bool diff = false;
  Args positional;
};

// Parses the options shared by the nc subcommands; false after a usage error
// was printed (`code` holds the exit code then).
bool parseOptions(const Args& args, NcOptions& options, int& code) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--") {
      options.positional.insert(options.positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg == "--type" && hasValue) {
      const auto generation = generationOf(args[++i]);
      if (!generation) return (code = usageError("--type takes x02 or x00")), false;
      options.generation = *generation;
    } else if ((arg == "-o" || arg == "--out") && hasValue) {
      options.output = args[++i];
    } else if (arg == "--prefix" && hasValue) {
      options.prefix = args[++i];
    } else if (int given = 0; parseGivenHeader(args, i, options.given, given)) {
      if (given == kExitUsage) return (code = kExitUsage), false;
    } else if (arg == "--verify" || arg == "--diff") {
      (arg == "--verify" ? options.verify : options.diff) = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return (code = usageError("unknown or incomplete option " + arg)), false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

bool parseProgramNumber(const std::string& text, int low, int high, int& number) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 3) return false;
  number = leadingInt(text);
  return number >= low && number <= high;
}

int exitCode(bool ok) { return ok ? kExitOk : kExitFailed; }

}  // namespace

int runNcCommand(ToolContext& context, const Args& args) {
  NcOptions options;
  options.generation = context.generation;
  int code = kExitUsage;
  if (!parseOptions(args, options, code)) return code;
  if (options.positional.empty()) return usageError("nc needs a subcommand");
  // Options may stand before or after the subcommand.
  const std::string sub = options.positional.front();
  const Args pos(options.positional.begin() + 1, options.positional.end());

  ToolNcPage page;
  page.gen = options.generation;
  context.host.page = kProgramPage;
  NcOperations operations(operationParts(context.link()), page);
  operations.givenHeader = givenHeaderBytes(context, options.given);

  if (sub == "send") {
    if (pos.size() != 1) return usageError("nc send takes one FILE");
    JournalRecorder journal(context.journal(), context.place(), "nc send");
    journal.setPath(pos[0]);
    if (!operations.readFile(pos[0])) {
      hintProgramNumber(context, pos[0], page.gen);
      return finishTransfer(context, journal, kExitFailed);
    }
    journal.setProgram(page.number, page.name);
    journal.setLines(page.lines);
    const bool sent = operations.send() &&
                      (!options.verify || verifyStoredProgram(context.link(), page.gen, page.number, page.lines, page.name));
    return finishTransfer(context, journal, exitCode(sent));
  }
  if (sub == "compare" || sub == "export") return runNcCompareCommand(context, operations, page, sub, pos, options.diff, options.output);
  if (sub == "receive") {
    if (pos.size() != 1 || options.output.empty()) return usageError("nc receive takes N and -o FILE");
    if (!parseProgramNumber(pos[0], kMinProgramNumber, kMaxProgramNumber, page.number)) {
      return usageError("program number must be 1 to 99: " + pos[0]);
    }
    if (refuseSaveTarget(context, options.output)) return kExitFailed;
    JournalRecorder journal(context.journal(), context.place(), "nc receive");
    journal.setProgram(page.number, {});
    const bool received = operations.receive();
    journal.setProgram(page.number, page.name);
    if (!page.lines.empty()) journal.setLines(page.lines);
    if (!received || stopSignalNumber() != 0) return finishTransfer(context, journal, kExitFailed);  // no partial file
    journal.setPath(options.output);
    return finishTransfer(context, journal, exitCode(operations.writeFile(options.output)));
  }
  if (sub == "delete") {
    if (pos.size() != 1) return usageError("nc delete takes N");
    if (!parseProgramNumber(pos[0], kMinProgramNumber, kMaxProgramNumber, page.number)) {
      return usageError("program number must be 1 to 99: " + pos[0]);
    }
    JournalRecorder journal(context.journal(), context.place(), "nc delete");
    const bool deleted = operations.deleteProgram();
    journal.setProgram(page.number, page.name);
    return finishTransfer(context, journal, exitCode(deleted));
  }
  if (sub == "read-many") {
    if (pos.empty() || options.output.empty()) return usageError("nc read-many takes N... and --out DIR");
    if (options.prefix.size() > kBatchPrefixLength) {
      return usageError("--prefix takes at most " + std::to_string(kBatchPrefixLength) + " characters");
    }
    MultipleChoice choice;
    choice.mode = kBatchReadMany;
    for (const std::string& text : pos) {
      int number = 0;
      if (!parseProgramNumber(text, 1, kBatchProgramCount, number)) {
        return usageError("read-many takes program numbers 1 to 68: " + text);
      }
      choice.programs[number - 1] = true;
    }
    choice.prefix = options.prefix;
    choice.directory = options.output;
    choice.chosen = true;
    BatchJournal journal(context, operations, "nc read-many");
    return journal.end(exitCode(operations.readMany(choice)));
  }
  if (sub == "write-many") {
    if (pos.empty()) return usageError("nc write-many takes FILE...");
    if (static_cast<int>(pos.size()) > kBatchFileLimit) {
      return usageError("write-many takes at most " + std::to_string(kBatchFileLimit) + " files");
    }
    MultipleChoice choice;
    choice.mode = kBatchWriteMany;
    choice.files = pos;
    choice.chosen = true;
    BatchJournal journal(context, operations, "nc write-many", choice.files.front());
    const bool written = operations.writeMany(choice, context.session.settings.multipleInquire) &&
                         (!options.verify || verifyBatch(context.link(), page.gen, choice));
    return journal.end(exitCode(written));
  }
  return usageError("unknown nc subcommand " + sub);
}

}  // namespace qxr
