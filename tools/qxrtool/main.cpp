// qxrtool [--dir START_DIR] [--port COMn|ADDRESS] [--yes] COMMAND ...
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "base/settings.h"
#include "base/stdfds.h"
#include "base/startdir.h"
#include "params/startfiles.h"
#include "base/textio.h"
#include "link/netport.h"
#include "tool.h"

namespace {

constexpr const char* kUsage =
    "usage: qxrtool [--dir START_DIR] [--machine NAME] [--port COMn|ADDRESS] [--yes] COMMAND ...\n"
    "\n"
    "Runs the operations of qxrtrans from a shell. Reads Init.ini, Customer.ini\n"
    "and the message catalogue of the start directory and never writes Init.ini.\n"
    "The start directory is START_DIR when given, else the current directory\n"
    "when it holds a message catalogue, else $XDG_DATA_HOME/qxrtrans\n"
    "(~/.local/share/qxrtrans), made from the installed data when missing.\n"
    "Page messages go to stdout.\n"
    "Exit status: 0 success, 1 the operation failed or was refused, 2 bad usage.\n"
    "A port is COMn (an entry of the start directory, else /dev/ttyS(n-1)) or a\n"
    "serial device server: rfc2217://HOST:PORT (RFC 2217) or tcp://HOST:PORT (raw).\n"
    "--machine NAME takes model, version, type, port, speed, time-out and mode\n"
    "from the machine of that name in Machines.ini (an explicit --port wins).\n"
    "Every transfer is recorded in the journal (see qxrtool journal).\n"
    "\n"
    "commands:\n"
    "  catalogue N                 print catalogue message N\n"
    "  detect                      search the ports for a controller\n"
    "  nc send FILE [--verify]     send an NC program file (numbered or plain NC\n"
    "                              text); --verify reads it back and compares\n"
    "  nc receive N -o FILE        receive program N into FILE\n"
    "  nc delete N                 delete program N on the controller\n"
    "  nc read-many N... --out DIR [--prefix P]\n"
    "  nc write-many FILE... [--verify]\n"
    "  nc compare N FILE [--diff]  compare program N on the controller with FILE;\n"
    "                              exit 1 when they differ (--diff: a unified diff)\n"
    "  nc export FILE -o OUT       write FILE's program as plain NC text\n"
    "  nc convert FILE [--dump PATH]\n"
    "  nc plot FILE -o OUT.png [--resolution 0-4] [--seconds] [--mirror-x] [--mirror-y] [--z VALUE]\n"
    "  nc preview FILE -o OUT.png|OUT.svg [--size WxH] [--plane xy|xz|yz]\n"
    "                              the whole tool path true to scale (default 800x600);\n"
    "                              words the conversion refuses are listed and left out\n"
    "  param send FILE.par\n"
    "  param receive -o FILE.par [--model QXR102] [--version SD|K|M] [--all | NAME...]\n"
    "  param list [--model QXR102] [--version SD|K|M]   numbers and names of a model\n"
    "  plc compile FILE [-o OUT.mcn]\n"
    "  plc decompile FILE.mcn\n"
    "  plc send FILE\n"
    "  plc receive -o FILE\n"
    "  ports                       the port list's devices and the serial devices found\n"
    "  ports assign COMn DEVICE    link COMn in the start directory to DEVICE\n"
    "  ports clear COMn            remove that link (COMn is /dev/ttyS(n-1) again)\n"
    "  machines [list]             the machines of Machines.ini, and its bad lines\n"
    "  machines add NAME --model QXR302 --port COMn|DEVICE|ADDRESS [--version SD|K|M]\n"
    "               [--baud N] [--timeout MS] [--mode block|byte] [--pacing MS]\n"
    "               [--folder DIR] [--replace]\n"
    "  machines remove NAME\n"
    "  journal [--machine M] [--program N] [--result R] [--since DATE] [--until DATE]\n"
    "          [--limit N] [--json]   recorded transfers, newest first (dates in UTC)\n"
    "\n"
    "nc commands take --type x02|x00 (default x02); those that read a file take\n"
    "--number N and --name NAME for a plain NC program (needed when it has no\n"
    "O-word 1 to 99; a given one replaces the file's). \"--\" ends the options: what\n"
    "follows is taken as names (qxrtool nc send -- -a.nc).\n";

// "COM7" or "\\.\COM12" -> 0-based index into the port list.
std::optional<int> portIndexOf(std::string name) {
  if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
  if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return std::nullopt;
  const int number = qxr::leadingInt(name.substr(3));
  if (number < 1 || number > qxr::kMaxPortCount) return std::nullopt;
  return number - 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  qxr::reopenClosedStandardDescriptors();
  std::string startDir;
  std::optional<int> portIndex;
  std::string portAddress;
  std::string machineName;
  bool yes = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string option = argv[i];
    if (option == "--") {
      ++i;
      break;
    }
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return qxr::kExitOk;
    } else if (option == "--yes" || option == "-y") {
      yes = true;
    } else if (option == "--machine" && i + 1 < argc) {
      machineName = argv[++i];
    } else if (option == "--dir" && i + 1 < argc) {
      startDir = argv[++i];
    } else if (option == "--port" && i + 1 < argc) {
      const std::string name = argv[++i];
      if (qxr::looksLikeNetworkAddress(name)) {
        if (!qxr::parseNetworkAddress(name)) return qxr::usageError("not a network port address: " + name);
        portAddress = name;
        continue;
      }
      portIndex = portIndexOf(name);
      if (!portIndex) return qxr::usageError(std::string("not a port name: ") + argv[i]);
    } else {
      return qxr::usageError("unknown option " + option);
    }
  }
  if (i >= argc) return qxr::usageError("no command given");
  const std::string command = argv[i++];
  qxr::Args args(argv + i, argv + argc);

  if (!startDir.empty()) {
    // Settings, catalogue and port links are read from there: a start
    // directory that is not one would run the command on defaults.
    std::error_code error;
    if (!std::filesystem::is_directory(startDir, error))
      return qxr::usageError("--dir: " + startDir + (std::filesystem::exists(startDir, error) ? " is not a directory" : " does not exist"));
  }
  {
    // An explicit --dir is taken as it is, as before; the rule only picks the default.
    const qxr::StartDirChoice start = qxr::chooseStartDirectory(startDir, qxr::startDirEnvironment());
    if (startDir.empty() && !start.problem.empty()) std::fprintf(stderr, "qxrtool: %s\n", start.problem.c_str());
    startDir = start.dir;
  }
  qxr::ToolContext context(startDir, yes, portIndex);
  // The shipped files the command reads, told once when missing; the command
  // goes on with what there is.
  if (command != "ports") {
    const std::string report = qxr::startFilesReport(startDir, context.session.language(), command == "param");
    if (!report.empty()) std::fprintf(stderr, "qxrtool: %s\n", report.c_str());
  }
  context.host.portAddress = portAddress;
  if (!machineName.empty()) {
    if (const auto code = qxr::applyMachineOption(context, machineName, portIndex || !portAddress.empty())) return *code;
  }
  qxr::installStopSignals();
  try {
    if (command == "catalogue") return qxr::runCatalogueCommand(context, args);
    if (command == "detect") return qxr::exitAfterStop(qxr::runDetectCommand(context, args));
    if (command == "nc") {
      if (!args.empty() && (args[0] == "convert" || args[0] == "plot")) return qxr::runSimCommand(context, args);
      if (!args.empty() && args[0] == "preview") return qxr::runPreviewCommand(context, args);
      return qxr::exitAfterStop(qxr::runNcCommand(context, args));
    }
    // Parameter and PLC transfers are recorded in the journal.
    const bool transfer = !args.empty() && (args[0] == "send" || args[0] == "receive");
    const auto run = command == "param" ? qxr::runParamCommand : qxr::runPlcCommand;
    if ((command == "param" || command == "plc") && transfer)
      return qxr::exitAfterStop(qxr::recordFileTransfer(context, command + " " + args[0], args, run));
    if (command == "param") return qxr::exitAfterStop(qxr::runParamCommand(context, args));
    if (command == "plc") return qxr::exitAfterStop(qxr::runPlcCommand(context, args));
    if (command == "machines") return qxr::runMachinesCommand(context, args);
    if (command == "journal") return qxr::runJournalCommand(context, args);
    if (command == "ports") return qxr::runPortsCommand(context, args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qxrtool: %s\n", error.what());
    return qxr::kExitFailed;
  }
  return qxr::usageError("unknown command " + command);
}
