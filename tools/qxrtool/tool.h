#pragma once
// The command-line companion: runs the core operations from a shell.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <cstdint>

#include "base/host.h"
#include "base/session.h"
#include "shop/journal.h"

namespace qxr {

class Link;
class TComm;
class NcOperations;
class MemoryNcPage;
struct GivenProgramHeader;

// Page messages go to stdout in order; questions are answered by --yes or
// on the terminal.
class ConsoleHost final : public LinkHost {
 public:
  ConsoleHost(Session& session, bool yes) : session_(session), yes_(yes) {}
  int page = kProgramPage;
  int portIndex = 0;
  int portCount = 8;

  int pageIndex() const override { return page; }
  void appendPageLine(int page, std::string_view line) override;
  void beep() override {}
  void processEvents() override {}
  std::string portAddress;  // --port rfc2217://HOST:PORT or tcp://HOST:PORT

  int selectedPortIndex() const override { return portIndex; }
  std::string namedPort() const override { return portAddress; }
  void selectPortIndex(int index) override { portIndex = index; }
  bool confirm(std::string_view question) override;
  void notice(std::string_view text) override;
  // stop.cpp: SIGINT and SIGTERM; the progress on stderr.
  bool stopRequested() const override;
  void showTransferProgress(const ProgressSnapshot& progress) override;
  void endTransferProgress() override;
  std::string lastLine;  // the last page message, for the journal

 private:
  Session& session_;
  bool yes_;
  bool progressShown_ = false;
  std::uint32_t lastProgressMs_ = 0;
};

// SIGINT, SIGTERM and SIGHUP ask the running transfer to stop (stop.cpp);
// after a stop the exit status is 128 + the signal's number (130, 143, 129),
// unless the command had reached its end. SIGPIPE is ignored.
void installStopSignals();
int stopSignalNumber();
int exitAfterStop(int code);

struct ToolContext {
  ToolContext(const std::string& startDir, bool yes, std::optional<int> portIndex);
  ~ToolContext();

  Session session;
  ConsoleHost host;
  // The serial port and the exchanges, made on first use.
  Link& link();
  TComm& port();

  // --machine (cmd_machines.cpp): its name, and the generation nc commands
  // take without --type.
  std::string machineName;
  int generation = kGenerationX02;
  // The journal of this run's transfers, opened on first use; its problem is
  // told once on stderr (cmd_journal.cpp).
  Journal* journal();
  TransferPlace place() const;

 private:
  std::unique_ptr<TComm> port_;
  std::unique_ptr<Link> link_;
  std::unique_ptr<Journal> journal_;
};

using Args = std::vector<std::string>;

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Subcommands, one file each.
int runCatalogueCommand(ToolContext& context, const Args& args);
int runDetectCommand(ToolContext& context, const Args& args);
int runNcCommand(ToolContext& context, const Args& args);
int runSimCommand(ToolContext& context, const Args& args);  // nc convert, nc plot
int runPreviewCommand(ToolContext& context, const Args& args);  // nc preview
int runParamCommand(ToolContext& context, const Args& args);
int runPlcCommand(ToolContext& context, const Args& args);
int runPortsCommand(ToolContext& context, const Args& args);
// nc compare N FILE [--diff] | nc export FILE -o OUT (cmd_compare.cpp), with
// the operations and page the nc command set up.
int runNcCompareCommand(ToolContext& context, NcOperations& operations, MemoryNcPage& page, const std::string& sub,
                        const Args& pos, bool diff, const std::string& output);

// --number N and --name NAME at args[i] (i moves past the value): true when
// the option was one of them; `code` is kExitUsage after a usage error.
bool parseGivenHeader(const Args& args, std::size_t& i, GivenProgramHeader& given, int& code);
// After a file was refused: names --number when it is a plain NC program
// without a number 1 to 99.
void hintProgramNumber(ToolContext& context, const std::string& path, int generation);
// The given name in the operator's code page.
GivenProgramHeader givenHeaderBytes(const ToolContext& context, GivenProgramHeader given);

int runMachinesCommand(ToolContext& context, const Args& args);
int runJournalCommand(ToolContext& context, const Args& args);

// --machine NAME: the machine's model, version, generation, port, speed,
// time-out and mode for this run; an explicit --port still wins. An exit
// code when the machine is unknown, else nullopt.
std::optional<int> applyMachineOption(ToolContext& context, const std::string& name, bool portGiven);

// Ends a journal record of this run with the command's exit code (a stop
// signal makes it "stopped") and the last page message; returns `code`.
int finishTransfer(ToolContext& context, JournalRecorder& recorder, int code);
// Runs a parameter or PLC transfer command and records it: the file is the
// value of -o, else the command's one file argument; a usage error is not
// recorded.
int recordFileTransfer(ToolContext& context, const std::string& operation, const Args& args,
                       int (*run)(ToolContext&, const Args&));

// The generation named by --type: "x02", or "x00" / "x01" (either case).
std::optional<int> generationOf(const std::string& type);

// True, after saying why on stderr, when the result of a command could not be
// saved as `path`: checked before the command starts its work.
bool refuseSaveTarget(ToolContext& context, const std::string& path);

// Prints a usage error to stderr and returns kExitUsage.
int usageError(const std::string& message);

}  // namespace qxr
