// nc compare N FILE [--diff] | nc export FILE -o OUT, and the --number and
// --name options of the commands that read a program file.
#include <cstdio>
#include <string>

#include "base/codec.h"
#include "base/fileio.h"
#include "base/textio.h"
#include "link/link.h"
#include "nc/ncops.h"
#include "nc/programcompare.h"
#include "nc/programtext.h"
#include "shop/journal.h"
#include "tool.h"

namespace qxr {

bool parseGivenHeader(const Args& args, std::size_t& i, GivenProgramHeader& given, int& code) {
  const std::string& arg = args[i];
  if ((arg != "--number" && arg != "--name") || i + 1 >= args.size()) return false;
  const std::string& value = args[++i];
  if (arg == "--name") {
    given.name = value;
    return true;
  }
  const bool digits = !value.empty() && value.size() <= 2 && value.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || !isValidProgramNumber(leadingInt(value))) {
    code = usageError("--number takes a program number 1 to 99: " + value);
    return true;
  }
  given.number = leadingInt(value);
  return true;
}

void hintProgramNumber(ToolContext& context, const std::string& path, int generation) {
  const ProgramText read = readProgramText(path, generation == kGenerationX02, context.session.language());
  if (read.refusal == PlainRefusal::kNoNumber) std::fprintf(stderr, "qxrtool: give the program a number: --number N\n");
}

GivenProgramHeader givenHeaderBytes(const ToolContext& context, GivenProgramHeader given) {
  if (given.name) given.name = utf8ToBytes(*given.name, context.session.language());
  return given;
}

namespace {

int compareCommand(ToolContext& context, NcOperations& operations, MemoryNcPage& page, const Args& pos, bool diff) {
  const std::string& number = pos[0];
  const bool digits = !number.empty() && number.size() <= 2 && number.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || !isValidProgramNumber(leadingInt(number))) return usageError("program number must be 1 to 99: " + number);
  const int program = leadingInt(number);
  Link& link = context.link();
  const int language = context.session.language();
  // The file need not carry the number: the controller's program is named here.
  GivenProgramHeader given = operations.givenHeader;
  if (given.number == 0) given.number = program;
  const bool withName = page.gen == kGenerationX02;
  const ProgramText read = readProgramText(pos[1], withName, language, given);
  if (read.file.status == ProgramFileStatus::kCannotOpen) {
    std::fprintf(stderr, "qxrtool: %s\n",
                 displayUtf8(fileErrorText(language, read.file.error, pos[1], kProgramFileLimit), language).c_str());
    return kExitFailed;
  }
  if (!announceProgramText(link, read)) return kExitFailed;
  if (read.file.status != ProgramFileStatus::kRead) {
    std::fprintf(stderr, "qxrtool: %s is no program file that can be read\n", pos[1].c_str());
    return kExitFailed;
  }
  // The name counts when the file gives one.
  const bool hasName = withName && (!read.plain() || read.nameFromComment || read.nameGiven);
  JournalRecorder journal(context.journal(), context.place(), "nc compare");
  journal.setPath(pos[1]);
  journal.setProgram(program, read.file.name);
  const ControllerComparison comparison =
      compareWithController(link, page.gen, program, read.file.lines,
                            hasName ? std::optional<std::string_view>(read.file.name) : std::nullopt);
  if (!comparison.received) return finishTransfer(context, journal, kExitFailed);
  journal.setLines(comparison.controllerLines);  // what the controller holds
  link.ShowPageMessage(0, comparisonText(language, program, comparison, read.file.lines, read.file.name));
  finishTransfer(context, journal, comparison.same() ? kExitOk : kExitFailed);
  if (diff && !comparison.same()) {
    const std::string text =
        unifiedDiff(comparison.controllerLines, read.file.lines, "controller:" + number, pos[1]);
    const std::string shown = displayUtf8(text, language);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
  }
  return comparison.same() ? kExitOk : kExitFailed;
}

int exportCommand(ToolContext& context, NcOperations& operations, MemoryNcPage& page, const Args& pos,
                  const std::string& output) {
  if (refuseSaveTarget(context, output)) return kExitFailed;
  if (!operations.readFile(pos[0])) return kExitFailed;
  FileError error = FileError::kNone;
  if (!writePlainProgramFile(output, page.number, page.gen == kGenerationX02 ? page.name : std::string(), page.lines,
                             &error)) {
    const int language = context.session.language();
    std::fprintf(stderr, "qxrtool: %s\n", displayUtf8(fileErrorText(language, error, output), language).c_str());
    return kExitFailed;
  }
  std::printf("Exported program %02d (%zu lines) as plain NC text to %s\n", page.number, page.lines.size(),
              output.c_str());
  return kExitOk;
}

}  // namespace

int runNcCompareCommand(ToolContext& context, NcOperations& operations, MemoryNcPage& page, const std::string& sub,
                        const Args& pos, bool diff, const std::string& output) {
  if (sub == "compare") {
    if (pos.size() != 2) return usageError("nc compare takes N and FILE");
    return compareCommand(context, operations, page, pos, diff);
  }
  if (pos.size() != 1 || output.empty()) return usageError("nc export takes FILE and -o OUT");
  return exportCommand(context, operations, page, pos, output);
}

}  // namespace qxr
