// machines list | add NAME --model M --port P [...] | remove NAME, and --machine NAME.
#include <cstdio>
#include <string>

#include "base/codec.h"
#include "base/textio.h"
#include "shop/machines.h"
#include "tool.h"

namespace qxr {

namespace {

void printProblems(ToolContext& context, const MachineFile& file) {
  const int language = context.session.language();
  for (const MachineProblem& problem : file.problems())
    std::fprintf(stderr, "qxrtool: %s: %s\n", kMachineFileName, machineProblemText(language, problem).c_str());
}

bool fileReadable(ToolContext& context, MachineFile& file) {
  FileError error = FileError::kNone;
  file = MachineFile::load(context.session.startDir, &error);
  if (error == FileError::kNone) return true;
  const int language = context.session.language();
  std::fprintf(stderr, "qxrtool: %s\n",
               displayUtf8(fileErrorText(language, error, MachineFile::pathIn(context.session.startDir)), language).c_str());
  return false;
}

bool saved(ToolContext& context, const MachineFile& file) {
  const std::string path = MachineFile::pathIn(context.session.startDir);
  const FileError error = saveFile(path, file.text());
  if (error == FileError::kNone) return true;
  const int language = context.session.language();
  std::fprintf(stderr, "qxrtool: %s\n", displayUtf8(fileErrorText(language, error, path), language).c_str());
  return false;
}

std::optional<int> numberOption(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int value = leadingInt(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

int addCommand(ToolContext& context, const Args& args) {
  if (args.size() < 2 || args[1].empty() || args[1][0] == '-') return usageError("machines add takes NAME and options");
  Machine machine;
  machine.name = args[1];
  if (!isValidMachineName(machine.name))
    return usageError("not a machine name (1 to 40 characters, no brackets or control characters, not \"shop\"): " +
                      machine.name);
  bool replace = false, hasModel = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const std::string value = hasValue ? args[i + 1] : std::string();
    if (arg == "--replace") {
      replace = true;
      continue;
    }
    if (!hasValue) return usageError("unknown or incomplete option " + arg);
    ++i;
    if (arg == "--model") {
      const auto model = modelIndexOfName(value);
      if (!model) return usageError("unknown model " + value + " (QXR102 ... QXR300)");
      machine.modelIndex = *model;
      hasModel = true;
    } else if (arg == "--version") {
      const auto version = versionIndexOfName(value);
      if (!version) return usageError("unknown version " + value + " (SD, K or M)");
      machine.versionIndex = *version;
    } else if (arg == "--port") {
      if (!isValidMachinePort(value)) return usageError("not a port (COMn, a device path or an address): " + value);
      machine.port = value;
    } else if (arg == "--baud") {
      const auto rate = numberOption(value, 1, 1000000);
      if (!rate || !baudIndexOfRate(*rate)) return usageError("--baud takes 1200, 2400, 4800, 9600 or 19200");
      machine.baud = *rate;
    } else if (arg == "--timeout") {
      const auto ms = numberOption(value, 1, 600000);
      if (!ms) return usageError("--timeout takes 1 to 600000 ms");
      machine.timeoutMs = *ms;
    } else if (arg == "--mode") {
      if (value != "block" && value != "byte") return usageError("--mode takes block or byte");
      machine.blockMode = value == "block";
    } else if (arg == "--pacing") {
      const auto ms = numberOption(value, 0, 1000);
      if (!ms) return usageError("--pacing takes 0 to 1000 ms");
      machine.pacingMs = *ms;
    } else if (arg == "--folder") {
      machine.folder = value;
    } else {
      return usageError("unknown option " + arg);
    }
  }
  if (!hasModel || machine.port.empty()) return usageError("machines add needs --model and --port");
  MachineFile file;
  if (!fileReadable(context, file)) return kExitFailed;
  if (file.find(machine.name) && !replace) {
    std::fprintf(stderr, "qxrtool: a machine named %s exists (--replace replaces it)\n", machine.name.c_str());
    return kExitFailed;
  }
  file.put(machine);
  return saved(context, file) ? kExitOk : kExitFailed;
}

int listCommand(ToolContext& context) {
  MachineFile file;
  if (!fileReadable(context, file)) return kExitFailed;
  for (const Machine& m : file.machines()) {
    std::printf("%s\t%s %s\t%s\t%d\t%s", m.name.c_str(), kModelNames[m.modelIndex], kVersionNames[m.versionIndex],
                m.port.c_str(), m.baud, m.blockMode ? "block" : "byte");
    if (!m.blockMode) std::printf(" %d ms", m.pacingMs);
    std::printf("\t%d ms\t%s\n", m.timeoutMs, m.folder.c_str());
  }
  std::fflush(stdout);
  printProblems(context, file);
  return file.problems().empty() ? kExitOk : kExitFailed;
}

}  // namespace

int runMachinesCommand(ToolContext& context, const Args& args) {
  if (args.empty() || args[0] == "list") {
    if (args.size() > 1) return usageError("machines list takes no arguments");
    return listCommand(context);
  }
  if (args[0] == "add") return addCommand(context, args);
  if (args[0] == "remove") {
    if (args.size() != 2) return usageError("machines remove takes NAME");
    MachineFile file;
    if (!fileReadable(context, file)) return kExitFailed;
    if (!file.remove(args[1])) {
      std::fprintf(stderr, "qxrtool: no machine named %s in %s\n", args[1].c_str(), kMachineFileName);
      return kExitFailed;
    }
    return saved(context, file) ? kExitOk : kExitFailed;
  }
  return usageError("unknown machines command " + args[0]);
}

std::optional<int> applyMachineOption(ToolContext& context, const std::string& name, bool portGiven) {
  MachineFile file;
  if (!fileReadable(context, file)) return kExitFailed;
  const Machine* machine = file.find(name);
  if (!machine) {
    std::fprintf(stderr, "qxrtool: no machine named %s in %s\n", name.c_str(),
                 MachineFile::pathIn(context.session.startDir).c_str());
    printProblems(context, file);
    return kExitFailed;
  }
  applyMachine(*machine, context.session);
  context.machineName = machine->name;
  context.generation = machine->generation();
  if (!portGiven) {
    if (const auto index = machinePortIndex(*machine)) {
      context.host.portIndex = *index;
      context.host.portAddress.clear();
    } else {
      context.host.portAddress = machineNamedPort(*machine);
    }
  }
  return std::nullopt;
}

}  // namespace qxr
