// plc compile | decompile | send | receive
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/codec.h"
#include "base/fileio.h"
#include "base/textio.h"
#include "link/link.h"
#include "plc/plcops.h"
#include "tool.h"

namespace qxr {

namespace {


// The PLC page in memory. Progress goes to a terminal on stderr only, so that
// stdout carries the page messages (and, for decompile, the program text).
class ToolPlcPage final : public MemoryPlcPage {
 public:
  bool printEditor = false;

  void setEditorLines(std::vector<std::string> l) override {
    if (printEditor) {
      for (const std::string& line : l) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
      }
      std::fflush(stdout);
    }
    MemoryPlcPage::setEditorLines(std::move(l));
  }
  void showProgress(std::string_view text, bool alignRight) override {
    // The host shows the count, rate and time left on stderr.
    MemoryPlcPage::showProgress(text, alignRight);
  }
  void hideProgress() override { MemoryPlcPage::hideProgress(); }
};

struct PlcOptions {
  std::string output;
  Args positional;
};

bool parseOptions(const Args& args, PlcOptions& options, int& code) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      options.positional.insert(options.positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if ((arg == "-o" || arg == "--out") && i + 1 < args.size()) {
      options.output = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      code = usageError("unknown or incomplete option " + arg);
      return false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

// The ".mcn" is named after the file the operator gave, wherever the start
// directory is.
std::string absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.string();
}

int exitCode(bool ok) { return ok ? kExitOk : kExitFailed; }

void printFileError(ToolContext& context, FileError error, const std::string& path, std::size_t limit = 0) {
  const int language = context.session.language();
  std::fprintf(stderr, "qxrtool: %s\n", displayUtf8(fileErrorText(language, error, path, limit), language).c_str());
}

int compile(ToolContext& context, const std::string& file, const std::string& output) {
  FileError error = FileError::kNone;
  std::optional<std::vector<std::string>> lines = readAllLines(file, kPlcFileLimit, &error);
  if (!lines) {
    printFileError(context, error, file, kPlcFileLimit);
    return kExitFailed;
  }
  PlcTables tables;
  const PlcCompilation compilation = compilePlcProgram(*lines, tables);
  if (compilation.status != psOk) {
    context.host.appendPageLine(kPlcPage, compileFailureText(context.session, compilation));
    return kExitFailed;
  }
  const std::string mcnPath = output.empty() ? mcnPathFor(absolute(file), context.session.startDir) : output;
  if (!WriteMcnFile(mcnPath, tables, compilation.instructions, &error)) {
    context.host.appendPageLine(kPlcPage, context.session.msg(msg::kCannotCreateFile) + " " + mcnPath);
    printFileError(context, error, mcnPath);
    return kExitFailed;
  }
  context.host.appendPageLine(kPlcPage, context.session.msg(msg::kCompiled) + " " + mcnPath);
  return kExitOk;
}

}  // namespace

int runPlcCommand(ToolContext& context, const Args& args) {
  if (args.empty()) return usageError("plc needs a subcommand");
  const std::string& sub = args[0];
  PlcOptions options;
  int code = kExitUsage;
  if (!parseOptions(args, options, code)) return code;
  const Args& pos = options.positional;
  context.host.page = kPlcPage;

  if (sub == "compile") {
    if (pos.size() != 1) return usageError("plc compile takes one FILE");
    return compile(context, pos[0], options.output);
  }

  ToolPlcPage page;
  page.delayMs = plcTransferDelayInUse(context.session.settings.plcTransferDelayMs);
  PlcTables tables;
  PlcOperations operations(operationParts(context.link()), page, tables);

  if (sub == "decompile") {
    if (pos.size() != 1 || !options.output.empty()) return usageError("plc decompile takes one FILE.mcn");
    std::string bytes;
    const FileError error = readFileChecked(pos[0], kPlcFileLimit, bytes);
    if (error != FileError::kNone) {
      printFileError(context, error, pos[0], kPlcFileLimit);
      return kExitFailed;
    }
    page.printEditor = true;
    return exitCode(operations.listMcnFile(pos[0]));
  }
  if (sub == "send") {
    if (pos.size() != 1 || !options.output.empty()) return usageError("plc send takes one FILE");
    if (!operations.readFile(absolute(pos[0]))) {
      std::fprintf(stderr, "qxrtool: cannot read %s\n", pos[0].c_str());
      return kExitFailed;
    }
    return exitCode(operations.send());
  }
  if (sub == "receive") {
    if (!pos.empty() || options.output.empty()) return usageError("plc receive takes -o FILE");
    if (refuseSaveTarget(context, options.output)) return kExitFailed;
    if (!operations.receive()) {
      // Stopped by a damaged instruction: what was listed before it, as the
      // page's editor shows it. No file is written.
      for (const std::string& line : page.lines) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
      }
      std::fflush(stdout);
      std::fprintf(stderr, "qxrtool: the PLC program did not arrive whole; %s was not written\n",
                   options.output.c_str());
      return kExitFailed;
    }
    if (stopSignalNumber() != 0) return kExitFailed;  // no partial file
    return exitCode(operations.writeFile(options.output));
  }
  return usageError("unknown plc subcommand " + sub);
}

}  // namespace qxr
