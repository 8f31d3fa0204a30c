#pragma once
// The shop's machines by name, kept in "Machines.ini" in the start directory:
// a text file a person reads and edits (UTF-8, LF or CR LF line ends).
//
//   # Lines that begin with # or ; are comments.
//   [shop]                      optional: settings for every machine
//   journal = /srv/qxr/journal.db
//
//   [Lathe 3]                   one section per machine, named by its header
//   model   = QXR302            QXR102 QXR202 QXR302 QXR101 QXR200 QXR300
//   version = M                 SD, K or M
//   port    = rfc2217://box:2003   COMn, a device path or tcp:// rfc2217://
//   baud    = 9600              1200 2400 4800 9600 19200 (default 9600)
//   timeout = 1000              ms to wait for a reply (default 1000)
//   mode    = block             block or byte (default byte)
//   pacing  = 10                ms after each byte in byte mode (default 10)
//   folder  = /home/cnc/lathe3  where the page's file windows start (optional)
//
// model and port are required. The controller generation (program names or
// not) follows from the model. A section with a bad line is left out and
// named with that line; the others load. Edits made here (add, replace,
// remove) change only the section concerned: comments and entries the
// program could not read stay as the person wrote them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"
#include "base/session.h"

namespace qxr {

inline constexpr const char* kMachineFileName = "Machines.ini";
inline constexpr std::size_t kMachineNameLimit = 40;

struct Machine {
  std::string name;
  int modelIndex = 0;
  int versionIndex = 1;
  std::string port;  // "COM3", "/dev/ttyUSB0", "rfc2217://box:2003"
  int baud = 9600;
  int timeoutMs = 1000;
  bool blockMode = false;
  int pacingMs = 10;
  std::string folder;

  int generation() const { return modelIndex < 3 ? kGenerationX02 : kGenerationX00; }
  bool operator==(const Machine&) const = default;
};

enum class MachineProblemKind {
  kBadLine,        // neither a section, a key = value, a comment nor blank
  kBadName,        // a section name that is empty, too long or has control bytes or brackets
  kDuplicateName,  // a second section of the same name (case ignored)
  kUnknownKey,
  kBadValue,       // a value outside its key's range
  kMissingKey,     // model or port missing (named at the section's line)
  kOutsideSection, // a key before the first section
};

struct MachineProblem {
  int line = 0;  // 1-based line of the file
  MachineProblemKind kind = MachineProblemKind::kBadLine;
  std::string detail;  // the key, value or name concerned
};

// The reason in the operator's language (1 English, else Traditional Chinese).
std::string machineProblemText(int language, const MachineProblem& problem);

class MachineFile {
 public:
  // Parses the text of a machine file.
  static MachineFile parse(std::string_view text);
  // Missing file: empty and no error. A file that cannot be read: empty with
  // its error in `error`.
  static MachineFile load(const std::string& startDir, FileError* error = nullptr);
  static std::string pathIn(const std::string& startDir);

  const std::vector<Machine>& machines() const { return machines_; }
  const std::vector<MachineProblem>& problems() const { return problems_; }
  // [shop] journal = PATH, empty when not set.
  const std::string& journalPath() const { return journalPath_; }
  const Machine* find(std::string_view name) const;

  // Adds `machine`, or replaces the machine of that name in place.
  void put(const Machine& machine);
  // False when there is no machine of that name.
  bool remove(std::string_view name);
  // The file's text with the edits made (LF line ends).
  std::string text() const;
  // Writes the text through saveFile.
  FileError save(const std::string& startDir) const;

 private:
  struct Section {
    std::string name;  // as written, empty for lines before the first section
    std::size_t first = 0, end = 0;  // lines [first, end)
  };
  void reparse();
  std::vector<std::string> lines_;
  std::vector<Machine> machines_;
  std::vector<MachineProblem> problems_;
  std::vector<Section> sections_;
  std::string journalPath_;
};

// Whether `name` may name a machine.
bool isValidMachineName(std::string_view name);
// Whether `port` names a port: COMn (1-99), an absolute device path or a
// network address.
bool isValidMachinePort(std::string_view port);
// The section of a machine as it is written.
std::vector<std::string> formatMachine(const Machine& machine);

// The machine's choices for a run: model, version, line speed, time-out, mode
// and pacing go into the session; the port is told by machinePortIndex (COMn)
// or machineNamedPort (a device path or address).
void applyMachine(const Machine& machine, Session& session);
std::optional<int> machinePortIndex(const Machine& machine);
std::string machineNamedPort(const Machine& machine);

// Model and version indexes of names (case ignored), nullopt when unknown.
std::optional<int> modelIndexOfName(std::string_view name);
std::optional<int> versionIndexOfName(std::string_view name);
// Settings::baudIndex (1-5) of a line speed, nullopt for any other speed.
std::optional<int> baudIndexOfRate(int rate);

}  // namespace qxr
