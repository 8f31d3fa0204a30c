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
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"
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
  Emulator(const TempDir& dir, const EmulatorOptions& options = {});
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // The built emulator (see toolPath in process.h).
  static std::string binary();

  // Stops it (SIGTERM) and waits; its link is gone afterwards. Harmless twice.
  void stop();
  // The device unplugged: killed at once, without a word on the line; its
  // terminal is gone and its link is left dangling (at a path no other
  // terminal can take).
  void unplug();
  // True while the process runs (false after a configured hang-up, say).
  bool running();
  // True while it runs and waits for input: it has answered all it has
  // taken (and logged it).
  bool idle() const;

  const std::string& slavePath() const { return slavePath_; }
  std::string storeDir() const { return work_ + "/store"; }
  std::string logPath() const { return work_ + "/log"; }

  // The log as written: "in 24 25 0d 0a", "out 24 25 0d 0a", "# note".
  std::string logText() const;
  // Every frame received and reply sent, as bytes, in order (true = from the PC).
  std::vector<std::pair<bool, std::string>> traffic() const;
  std::vector<std::string> framesIn() const { return direction(true); }
  std::vector<std::string> repliesOut() const { return direction(false); }
  // Waits until the emulator has logged at least `count` frames from the PC
  // (it logs a frame once it has taken it) or has ended; its frames then.
  std::vector<std::string> framesInAfter(std::size_t count);

  // What the controller holds: program n as a program file (number, name for
  // X02, lines), the parameters ("number=value" lines) and the PLC data
  // (one record's hex data per line).
  std::optional<std::string> storedProgram(int number) const;
  std::string storedParameters() const;
  std::string storedPlc() const;

 private:
  std::vector<std::string> direction(bool in) const;

  std::string work_;
  std::string link_;
  std::string slavePath_;
  std::unique_ptr<Process> process_;
};

}  // namespace qxr::test
