// qxrtool against bad inputs and bad targets, run as a user would from a
// shell. Every row runs one command in a fresh start directory beside a
// controller emulator and asserts the exit status, a fragment of what the
// command said, that the line stayed quiet when the input was refused before
// a port opens, and that every file there is byte for byte and mode for mode
// what it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/settings.h"
#include "plc/mcn.h"
#include "plc/plc.h"
#include "support/emulator.h"
#include "support/process.h"
#include "support/startdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

// What a file is: kind, permission bits, and its bytes or its link target.
// FIFOs are never opened.
struct FileState {
  char kind = '?';
  unsigned mode = 0;
  std::string content;
  bool operator==(const FileState&) const = default;
};
using Snapshot = std::map<std::string, FileState>;

// Everything under `root` but the emulator's own files and the working file
// of a PLC receive.
Snapshot snapshot(const std::string& root) {
  Snapshot files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), root).string();
    if (name.rfind("emulator-", 0) == 0) {
      it.disable_recursion_pending();
      continue;
    }
    if (name == "COM2" || name == "Mcn.tmp") continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0) continue;
    FileState state;
    state.mode = info.st_mode & 07777;
    if (S_ISLNK(info.st_mode)) {
      state.kind = 'l';
      state.content = fs::read_symlink(it->path()).string();
    } else if (S_ISREG(info.st_mode)) {
      state.kind = 'f';
      std::string bytes;
      readFileChecked(it->path().string(), 64u << 20, bytes);
      state.content = bytes;
    } else if (S_ISDIR(info.st_mode)) {
      state.kind = 'd';
    } else if (S_ISFIFO(info.st_mode)) {
      state.kind = 'p';
    }
    files[name] = state;
  }
  return files;
}

void writeFile(const std::string& path, const std::string& bytes, unsigned mode = 0644) {
  { std::ofstream(path, std::ios::binary) << bytes; }
  ::chmod(path.c_str(), mode);
}

const std::string kGoodProgram = "7\r\nPART1\r\nN1 G01 X10 Y10 F100\r\nN2 M30\r\n";

// A start directory as an operator has it: the shipped data (optionally
// without the parameter descriptions), a short time-out, good files and bad
// ones of every kind, and files that must survive.
struct Workspace {
  test::StartDir dir;

  explicit Workspace(bool descriptions = true)
      : dir(1, [descriptions](const std::string& name) { return descriptions || name.find("Par") == std::string::npos; }) {
    dir.writeBlockMode(300);

    writeFile(dir.file("good.nc"), kGoodProgram);
    writeFile(dir.file("-a.nc"), kGoodProgram);
    writeFile(dir.file("bad-number.nc"), "0\r\nPART\r\nN1 G00 X0\r\n");
    writeFile(dir.file("good.pmc"), "LD 0001\r\nOUT 0500\r\nEND\r\n");
    writeFile(dir.file("good.par"), "Speed(12)=300\r\n");
    writeFile(dir.file("big.nc"), "7\r\nPART\r\n" + std::string(kProgramFileLimit, 'X'));
    writeFile(dir.file("big.par"), std::string(kParameterFileLimit + 1, '\n'));
    writeFile(dir.file("big.pmc"), std::string(kPlcFileLimit + 1, '\n'));
    ::mkfifo(dir.file("fifo").c_str(), 0644);
    fs::create_directory(dir.file("adir"));
    writeFile(dir.file("afile"), "x");
    fs::create_symlink("fifo", dir.file("link-to-fifo"));
    fs::create_symlink("nowhere", dir.file("dangling"));
    for (const char* name : {"ro.txt", "ro.png", "ro.mcn", "ro.nc", "ro.par"})
      writeFile(dir.file(name), "old\r\n", 0444);
    writeFile(dir.file("old.par"), "Speed(12)=1\r\n", 0600);
    writeFile(dir.file("Test.TXT"), "old dump\r\n", 0640);
    // Beyond the bound of a program: a numbered line without its blank, one
    // line too many, and a parameter line of no form.
    writeFile(dir.file("noblank.nc"), "7\r\nPART1\r\nN1 G00 X0\r\nN2G01X5Y5\r\nN3 M30\r\n");
    std::string lines = "7\r\nPART1\r\n";
    for (int i = 1; i <= 6001; ++i) lines += "N" + std::to_string(i) + " X\r\n";
    writeFile(dir.file("6001.nc"), lines);
    writeFile(dir.file("badform.par"), "Speed(12)=300\r\nFeed 13 = 5\r\n");
    writeFile(dir.file("adir/L02.NC"), "old\r\n", 0444);
  }

  // Runs qxrtool in the start directory; stdout and stderr together. A
  // command that hangs is stopped after 20 s and reads as exit 124.
  test::ToolRun run(const std::string& args, const std::string& cwd = {}) const {
    return test::runShell("cd '" + (cwd.empty() ? dir.dir() : cwd) + "' && timeout 20 " + test::toolCommand("qxrtool") +
                          " --dir " + dir.dir() + " --port COM2 --yes " + args);
  }
};

// A compiled PLC program whose third instruction carries an opcode no
// instruction has.
std::string damagedPlcImage() {
  PlcTables tables;
  const PlcCompilation compilation = compilePlcProgram({"LD 0001", "OUT 0500", "LD 0002", "OUT 0501", "END"}, tables);
  std::vector<std::uint8_t> bytes = mcnBytes(tables, compilation.instructions);
  bytes[kMcnHeaderBytes + 2 * kMcnInstructionBytes] = 0xEE;
  return mcnText(bytes);
}

enum class Setup { kPlain, kNoDescriptions, kProgram7, kDamagedPlc, kReadOnlyMcnTmp };

struct Row {
  const char* args;
  int exit;
  const char* said;              // a fragment of stdout + stderr
  bool quietLine = true;         // refused before any frame
  Setup setup = Setup::kPlain;
  const char* printed = nullptr; // a further fragment
};

void runRows(const std::vector<Row>& rows) {
  QXR_REQUIRE_TOOL("qxrtool");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    Workspace space(row.setup != Setup::kNoDescriptions);
    test::EmulatorOptions options;
    options.parameters = "1=4\r\n2=1000\r\n";
    if (row.setup == Setup::kProgram7) options.programs[7] = kGoodProgram;
    if (row.setup == Setup::kDamagedPlc) options.plc = damagedPlcImage();
    test::Emulator emulator(space.dir, options);
    if (row.setup == Setup::kReadOnlyMcnTmp) writeFile(space.dir.file("Mcn.tmp"), "old\r\n", 0444);
    const Snapshot before = snapshot(space.dir.dir());

    const auto [code, output] = space.run(row.args);
    EXPECT_EQ(code, row.exit) << output;
    EXPECT_NE(output.find(row.said), std::string::npos) << output;
    if (row.printed) {
      EXPECT_NE(output.find(row.printed), std::string::npos) << output;
    }
    if (row.quietLine) {
      EXPECT_TRUE(emulator.framesIn().empty()) << emulator.logText();
    } else {
      EXPECT_FALSE(emulator.framesIn().empty()) << output;
    }
    EXPECT_TRUE(snapshot(space.dir.dir()) == before) << "files changed:\n" << output;
  }
}

// Inputs that are no regular file of a sensible size, for every command that
// reads one: refused with the reason, before a port opens.
TEST(ToolFiles, InputsOfTheWrongKindOrSize) {
  runRows({
      {"nc send fifo", 1, "Not a regular file: fifo"},
      {"nc send link-to-fifo", 1, "Not a regular file: link-to-fifo"},
      {"nc send adir", 1, "Not a regular file: adir"},
      {"nc send /dev/zero", 1, "Not a regular file: /dev/zero"},
      {"nc send big.nc", 1, "File too large (at most 2097152 bytes): big.nc"},
      {"nc send dangling", 1, "File not found: dangling"},
      {"nc send missing.nc", 1, "File not found: missing.nc"},
      {"nc write-many good.nc fifo", 1, "Not a regular file: fifo"},
      {"nc write-many good.nc bad-number.nc", 1, "bad-number.nc cannot be sent: nothing was sent"},
      {"nc write-many good.nc big.nc", 1, "File too large"},
      {"nc convert /dev/zero", 1, "Not a regular file: /dev/zero"},
      {"nc plot fifo -o new.png", 1, "Not a regular file: fifo"},
      {"param send fifo", 1, "Not a regular file: fifo"},
      {"param send /dev/zero", 1, "Not a regular file"},
      {"param send big.par", 1, "File too large (at most 1048576 bytes): big.par"},
      {"plc compile adir", 1, "Not a regular file: adir"},
      {"plc compile /dev/zero", 1, "Not a regular file: /dev/zero"},
      {"plc compile fifo", 1, "Not a regular file: fifo"},
      {"plc compile big.pmc", 1, "File too large"},
      {"plc decompile fifo", 1, "Not a regular file: fifo"},
      {"plc decompile big.pmc", 1, "File too large"},
      {"plc send /dev/zero", 1, "Not a regular file: /dev/zero"},
      // Beyond the one bound of programs and parameter texts: named, and
      // refused before the port opens.
      {"nc send noblank.nc", 1, "Line 4 of the file has no blank after its line number"},
      {"nc write-many good.nc noblank.nc", 1, "noblank.nc cannot be sent: nothing was sent"},
      {"nc send 6001.nc", 1, "The program has 6001 lines, at most 6000: the file was not read"},
      {"nc convert noblank.nc", 1, "Line 4 of the file has no blank"},
      {"param send badform.par", 1, "Line 2 is not of the form name(number)=value: nothing was sent"},
  });
}

// Targets that may not or cannot be written, and batch targets that would
// lead elsewhere: nothing written, nothing replaced, a non-zero exit.
TEST(ToolFiles, TargetsThatCannotBeWritten) {
  runRows({
      {"nc convert good.nc --dump ro.txt", 1, "read-only, nothing written: ro.txt"},
      {"nc convert good.nc --dump afile/dump.txt", 1, "File not found: afile/dump.txt"},
      {"nc convert good.nc --dump adir", 1, "Not a regular file: adir"},
      {"nc plot good.nc -o ro.png", 1, "read-only, nothing written: ro.png"},
      {"nc plot good.nc -o missing/new.png", 1, "File not found: missing/new.png"},
      {"nc plot good.nc -o fifo", 1, "Not a regular file: fifo"},
      {"nc plot good.nc -o new.png --dump ro.txt", 1, "read-only"},
      {"plc compile good.pmc -o ro.mcn", 1, "read-only, nothing written: ro.mcn"},
      {"nc read-many 1 --out afile", 1, "Not a directory: afile"},
      {"nc read-many 1 --out missing", 1, "File not found: missing"},
      {"nc read-many 1 2 --out adir", 1, "read-only, nothing written: adir/L02.NC"},
      {"nc read-many 1 --out adir --prefix ../up", 1, "cannot hold \"/\""},
      {"nc read-many 1 --out adir --prefix a/b", 1, "cannot hold \"/\""},
      {"nc receive 7 -o ro.nc", 1, "read-only, nothing written: ro.nc", true, Setup::kProgram7},
      {"nc receive 7 -o adir", 1, "Not a regular file: adir", true, Setup::kProgram7},
      {"param receive -o ro.par --model QXR102 --version SD 1", 1, "read-only"},
      {"plc receive -o link-to-fifo", 1, "Not a regular file: link-to-fifo"},
      // The received program is kept in Mcn.tmp of the start directory first.
      {"plc receive -o new.pmc", 1, "read-only, nothing written: " , true, Setup::kReadOnlyMcnTmp, "Mcn.tmp"},
  });
}

// Results that are not whole: a non-zero exit, what is missing said, and no
// file written over an existing one.
TEST(ToolFiles, IncompleteResults) {
  runRows({
      {"param receive --all -o old.par --model QXR102 --version SD", 1, "102ParSDE.txt or 102ParE.txt", true,
       Setup::kNoDescriptions},
      {"plc receive -o new.pmc", 1, "new.pmc was not written", false, Setup::kDamagedPlc, "LD 0001\nOUT 0500\n"},
  });
}

// The command line: what cannot be meant is refused and says why.
TEST(ToolFiles, CommandLineRefusals) {
  runRows({
      {"nc send -a.nc", 2, "unknown or incomplete option -a.nc"},
      {"catalogue abc", 2, "not a message number: abc"},
      {"catalogue 0", 1, "there is no message 0: Message.E holds messages 1 to 249"},
      {"catalogue 300", 1, "there is no message 300"},
      {"nc read-many 1 --out adir --prefix 123456789012345678901", 2, "at most 20 characters"},
      {"--dir missing catalogue 1", 2, "--dir: missing does not exist"},
      {"--dir afile catalogue 1", 2, "--dir: afile is not a directory"},
      {"ports assign COM2x /dev/null", 2, "not a port of the list (COM1 to COM"},
      {"ports assign COM02 /dev/null", 2, "not a port of the list"},
      {"ports assign com2 /dev/null", 2, "not a port of the list"},
      {"ports assign COM99 /dev/null", 2, "not a port of the list"},
      {"ports assign COM3 \"$(printf '/dev/tty\\033[2J')\"", 2, "the device path holds a control character"},
  });
}

// "--" ends the options; the default dump goes into the start directory
// whatever the current one is.
TEST(ToolFiles, OptionsEndAndTheDumpFindsTheStartDirectory) {
  QXR_REQUIRE_TOOL("qxrtool");
  Workspace space;
  test::TempDir elsewhere;
  const auto [code, output] = space.run("nc convert -- " + space.dir.file("-a.nc"), elsewhere.dir());
  EXPECT_EQ(code, 0) << output;
  EXPECT_EQ(space.dir.read("Test.TXT").substr(0, 6), "N0001 ");
  EXPECT_FALSE(elsewhere.exists("Test.TXT"));
  EXPECT_EQ(space.run("catalogue -- 101").code, 0);
}

// Whatever the input, no command grows past 100 MB: the largest of all the
// commands run by this program so far, files at their bounds included.
TEST(ToolFiles, MemoryStaysBoundedAtTheLimits) {
  QXR_REQUIRE_TOOL("qxrtool");
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory and quarantine say nothing of the program's own use";
#endif
  Workspace space;
  std::string shortLines;
  while (shortLines.size() + 4 <= kProgramFileLimit) shortLines += "N1 \n";
  writeFile(space.dir.file("full.nc"), "7\r\nPART\r\n" + shortLines.substr(0, kProgramFileLimit - 10));
  writeFile(space.dir.file("full.pmc"), std::string(kPlcFileLimit, '\n'));
  space.run("nc convert full.nc --dump full.txt");
  space.run("plc compile full.pmc");
  space.run("plc decompile full.mcn");
  rusage usage {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "largest child: " << usage.ru_maxrss << " kB";
  std::printf("largest command: %ld kB\n", usage.ru_maxrss);
}

}  // namespace
}  // namespace qxr
