#pragma once
// End-to-end tests against the controller emulator (tools/qxremu).
//
// Emulator starts the built qxremu on a new pseudo-terminal linked as COM2
// (or another name) in a test's start directory, waits until the link is
// there, and stops it when it goes out of scope. Its --log and its store
// (the mirror of what the controller holds) are readable at any time.
//
//   qxr::test::TempDir dir;
//   qxr::Session session = qxr::test::makeTestSession(dir);
//   qxr::test::FakeHost host;                      // fakehost.h; port index 1 = COM2
//   qxr::test::EmulatorOptions options;
//   options.model = 102;                           // X02: programs carry names
//   options.programs[7] = "7\r\nPART1\r\nN1 G00 X0\r\nN2 M30\r\n";
//   options.parameters = "12=300\r\n";
//   qxr::test::Emulator emulator(dir, options);
//   qxr::test::linkMissingPorts(dir, session.settings.portCount);  // no real /dev/ttyS*
//
//   qxr::TComm port;
//   port.SetPortDirectory(session.startDir);
//   qxr::Link link(port, session, host, qxr::SystemClock::instance());
//   session.settings.transitMode = 1;              // block mode: fast
//   ... run the operation ...
//
//   EXPECT_EQ(emulator.framesIn()[0], "$%\r\n");   // bytes the PC sent, frame by frame
//   EXPECT_EQ(emulator.repliesOut()[0], "$%\r\n"); // bytes the controller answered
//   EXPECT_EQ(*emulator.storedProgram(7), "7\r\nPART1\r\nN1 G00 X0\r\nN2 M30\r\n");
//   EXPECT_EQ(emulator.storedParameters(), "12=300\r\n");
//
// Faults: options.silentAfter, hangupAfter, refuse ({"$S", "N2*"}), garbage,
// overlong, baud; through extraArgs --noise-at N, --noise, --nul-at N, --echo,
// --trickle MS, --drop-at N; see `qxremu --help`. emulator.logText() shows the whole
// conversation when a test fails.
//
// What the emulated controller answers: "$%" with "$%"; "$L" "$K" "$S" "$R"
// "$P", known program numbers, names, lines and parameters with the
// acknowledge line; an unknown program number with the refusal line; each
// acknowledgement after a look-up with the next of name (X02), "N<k> text"
// lines and "$%"; a delete's name frame with "$V" (or the acknowledge line
// when the name is not the program's); a parameter's acknowledgement with
// its value (0 when never written); STX LON/LOF/SQW ETX with STX ACK ETX;
// QXR and VER with the designation and version texts; SQR with ACK plus
// the first record, then the other records and STX "0001FE" ETX. A PLC write
// with a damaged record is refused at the link-off.
//
// In CMake, make the test depend on the emulator:
//   add_dependencies(<test target> qxremu)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/tempdir.h"

extern char** environ;

namespace qxr::test {

struct EmulatorOptions {
  int model = 102;                          // 102 202 302 (X02), 101 200 300 (X00/X01)
  std::string version = "SD";               // SD, K or M
  std::optional<std::string> designation;   // model reply text (default "QXR-<model>")
  std::optional<std::string> versionText;   // version reply text (default "V1.02S" ...)
  std::map<int, std::string> programs;      // program number -> program file bytes
  std::string parameters;                   // "number=value" lines
  std::string plc;                          // compiled PLC data (hexadecimal text, .mcn)
  std::string portName = "COM2";            // the link's name in the start directory
  long baud = 0;                            // 0: answer at once
  long silentAfter = -1;
  long hangupAfter = -1;
  std::vector<std::string> refuse;          // frame texts, without CR LF / STX ETX
  bool garbage = false;
  bool overlong = false;
  std::vector<std::string> extraArgs;
};

class Emulator {
 public:
  Emulator(const TempDir& dir, const EmulatorOptions& options = {}) : dir_(dir.dir()) {
    work_ = dir.file("emulator-" + options.portName);
    std::filesystem::create_directories(work_ + "/input");
    std::vector<std::string> args = {binary(),
                                     "--link", dir.file(options.portName),
                                     "--model", std::to_string(options.model),
                                     "--version", options.version,
                                     "--store", storeDir(),
                                     "--log", logPath()};
    if (options.designation) args.insert(args.end(), {"--designation", *options.designation});
    if (options.versionText) args.insert(args.end(), {"--version-text", *options.versionText});
    for (const auto& [number, bytes] : options.programs) {
      const std::string path = work_ + "/input/program" + std::to_string(number) + ".nc";
      writeBytes(path, bytes);
      args.insert(args.end(), {"--program", std::to_string(number) + ":" + path});
    }
    if (!options.parameters.empty()) {
      writeBytes(work_ + "/input/parameters.txt", options.parameters);
      args.insert(args.end(), {"--params", work_ + "/input/parameters.txt"});
    }
    if (!options.plc.empty()) {
      writeBytes(work_ + "/input/plc.mcn", options.plc);
      args.insert(args.end(), {"--plc", work_ + "/input/plc.mcn"});
    }
    if (options.baud) args.insert(args.end(), {"--baud", std::to_string(options.baud)});
    if (options.silentAfter >= 0) args.insert(args.end(), {"--silent-after", std::to_string(options.silentAfter)});
    if (options.hangupAfter >= 0) args.insert(args.end(), {"--hangup-after", std::to_string(options.hangupAfter)});
    for (const auto& frame : options.refuse) args.insert(args.end(), {"--refuse", frame});
    if (options.garbage) args.push_back("--garbage");
    if (options.overlong) args.push_back("--overlong");
    args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
    start(args);
  }
  ~Emulator() { stop(); }
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // The built emulator: $QXR_BIN_DIR/tools/qxremu/qxremu, or, for a test
  // program started by hand, the one of the build tree the program is in.
  static std::string binary() {
    constexpr const char* kRelative = "tools/qxremu/qxremu";
    if (const char* bin = std::getenv("QXR_BIN_DIR")) return std::string(bin) + "/" + kRelative;
    std::error_code error;
    auto dir = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    for (; !error && dir.has_relative_path(); dir = dir.parent_path())
      if (std::filesystem::exists(dir / kRelative)) return (dir / kRelative).string();
    return kRelative;
  }

  // Stops it (SIGTERM) and waits; its link is gone afterwards. Harmless twice.
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  // The device unplugged: killed at once, without a word on the line; its
  // terminal is gone and its link is left dangling.
  void unplug() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  // True while the process runs (false after a configured hang-up, say).
  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }

  const std::string& slavePath() const { return slavePath_; }
  std::string storeDir() const { return work_ + "/store"; }
  std::string logPath() const { return work_ + "/log"; }

  // The log as written: "in 24 25 0d 0a", "out 24 25 0d 0a", "# note".
  std::string logText() const { return readBytes(logPath()).value_or(""); }
  // Every frame received and reply sent, as bytes, in order (true = from the PC).
  std::vector<std::pair<bool, std::string>> traffic() const {
    std::vector<std::pair<bool, std::string>> entries;
    std::istringstream lines(logText());
    std::string line;
    while (std::getline(lines, line)) {
      const bool in = line.rfind("in", 0) == 0;
      if (!in && line.rfind("out", 0) != 0) continue;
      std::istringstream hex(line.substr(in ? 2 : 3));
      std::string bytes, digits;
      while (hex >> digits) bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
      entries.emplace_back(in, bytes);
    }
    return entries;
  }
  std::vector<std::string> framesIn() const { return direction(true); }
  std::vector<std::string> repliesOut() const { return direction(false); }

  // What the controller holds: program n as a program file (number, name for
  // X02, lines), the parameters ("number=value" lines) and the PLC data
  // (one record's hex data per line).
  std::optional<std::string> storedProgram(int number) const {
    char name[16];
    std::snprintf(name, sizeof name, "P%02d.nc", number);
    return readBytes(storeDir() + "/" + name);
  }
  std::string storedParameters() const { return readBytes(storeDir() + "/parameters.txt").value_or(""); }
  std::string storedPlc() const { return readBytes(storeDir() + "/plc.mcn").value_or(""); }

 private:
  std::vector<std::string> direction(bool in) const {
    std::vector<std::string> out;
    for (auto& [fromPc, bytes] : traffic())
      if (fromPc == in) out.push_back(bytes);
    return out;
  }
  static void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  static std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  void start(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (error != 0) {
      ::close(out[0]);
      pid_ = -1;
      throw std::runtime_error("cannot start " + args[0]);
    }
    // The first line on its stdout is the terminal's path; by then the link exists.
    std::string line;
    for (int waited = 0; waited < 10000 && line.find('\n') == std::string::npos;) {
      pollfd pfd{out[0], POLLIN, 0};
      if (::poll(&pfd, 1, 100) <= 0) {
        waited += 100;
        continue;
      }
      char chunk[256];
      const ssize_t n = ::read(out[0], chunk, sizeof chunk);
      if (n <= 0) break;
      line.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos) {
      stop();
      throw std::runtime_error("the emulator did not start: " + args[0]);
    }
    slavePath_ = line.substr(0, line.find('\n'));
  }

  std::string dir_;
  std::string work_;
  std::string slavePath_;
  pid_t pid_ = -1;
};

// Links every COMn of a port list of `count` entries that the directory does
// not have yet to a path that does not exist, so a search through the list
// never reaches a real serial device of the machine.
inline void linkMissingPorts(const TempDir& dir, int count) {
  for (int n = 1; n <= count; ++n) {
    const std::string name = "COM" + std::to_string(n);
    struct stat info {};
    if (::lstat(dir.file(name).c_str(), &info) == 0) continue;
    std::filesystem::create_symlink(dir.file("absent-" + name), dir.file(name));
  }
}

}  // namespace qxr::test
