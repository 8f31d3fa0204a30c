#pragma once
// The fault matrix's rig: one transfer operation on a real port against the
// controller emulator, with one fault on the line, and the checks that every
// cell of the matrix shares.
//
// A cell is an operation and a fault. The faults of a row are made from the
// fault-free run of the same operation: silence from each frame on, a
// refusal of each frame, a hang-up after each frame, the device unplugged
// while the PC waits for each reply, then garbage, over-long replies and a
// port that another program holds.
//
// Silences cost no real time: the rig's clock jumps a whole time-out once
// the emulator's log shows that no answer will come: the emulator is gone,
// or it has taken every byte the PC wrote, is done with them, and left the
// last frame unanswered (silent, missed, nothing to fetch). Where the
// controller does answer but not as the PC waits for (garbage, over-long
// replies, a stream cut short, a loopback), the clock jumps once the line
// has been still for a whole round of the PC's wait. The time-out itself is
// long, so that real time never ends a wait however slow the machine.
//
// Set QXR_FAULT_LOG=FILE to append one line per cell (operation, fault,
// result, page messages, state) to FILE; docs/fault-matrix.md is made from it.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/comm.h"
#include "link/link.h"
#include "link/linktexts.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/linkrig.h"
#include "support/process.h"
#include "support/startdir.h"
#include "support/ser2net.h"
#include "support/wait.h"

namespace qxr::test {

using Lines = std::vector<std::string>;

enum class FaultKind {
  kNone,
  kSilent,         // no answer from frame `at` + 1 on
  kSilentReplies,  // no reply after the first `at` replies (within a PLC read too)
  kRefuse,         // frame `at` answered with the refusal line
  kGarbage,        // every reply garbage
  kOverlong,       // every reply after 100 bytes without a line end
  kHangup,         // the line closed after answering `at` frames
  kHangupReplies,  // the line closed once `at` replies are out
  kUnplug,         // the device gone while the PC waits for the reply to frame `at`
  kBusy,           // another program holds the port
  kServerDown,     // nobody listens at the network port's address
  kNoiseAt,        // a burst of line noise before reply `at`
  kNoise,          // line noise all the time
  kNulAt,          // a NUL byte in the middle of reply `at`
  kEcho,           // a loopback plug: every byte back, no controller
  kDrop,           // frame `at` missed by the controller, the ones after it answered
};

// How the PC reaches the controller: its pseudo-terminal directly, or
// through ser2net on 127.0.0.1 (RFC 2217 or raw TCP), COM2 bound to it.
enum class Transport { kLocal, kRfc2217, kRawTcp };

inline const char* transportName(Transport transport) {
  switch (transport) {
    case Transport::kLocal: return "local";
    case Transport::kRfc2217: return "RFC 2217";
    case Transport::kRawTcp: return "raw TCP";
  }
  return "?";
}

struct Fault {
  FaultKind kind = FaultKind::kNone;
  long at = 0;

  std::string name() const {
    const std::string n = std::to_string(at);
    switch (kind) {
      case FaultKind::kNone: return "none";
      case FaultKind::kSilent: return "silent after " + n;
      case FaultKind::kSilentReplies: return "silent after reply " + n;
      case FaultKind::kRefuse: return "refuse frame " + n;
      case FaultKind::kGarbage: return "garbage";
      case FaultKind::kOverlong: return "overlong";
      case FaultKind::kHangup: return "hang-up after " + n;
      case FaultKind::kHangupReplies: return "hang-up after reply " + n;
      case FaultKind::kUnplug: return "unplug at " + n;
      case FaultKind::kBusy: return "port held";
      case FaultKind::kServerDown: return "server down";
      case FaultKind::kNoiseAt: return "noise before reply " + n;
      case FaultKind::kNoise: return "noise all the time";
      case FaultKind::kNulAt: return "NUL in reply " + n;
      case FaultKind::kEcho: return "echo";
      case FaultKind::kDrop: return "frame " + n + " missed";
    }
    return "?";
  }
  // Noise and echoes: nothing on the line answers as a controller, so the
  // operation must fail.
  bool lineFault() const {
    return kind == FaultKind::kNoiseAt || kind == FaultKind::kNoise || kind == FaultKind::kNulAt ||
           kind == FaultKind::kEcho;
  }
  // The messages a failure under this fault must show (any one of them, at
  // the start of a line).
  Lines failureMessages(const std::string& refusal, int language) const {
    if (kind == FaultKind::kEcho) return {linkText(language, LinkText::kEcho)};
    if (lineFault()) {
      const std::string noise = linkText(language, LinkText::kNoise);
      return {noise.substr(0, noise.find('('))};
    }
    switch (kind) {
      case FaultKind::kSilent:
      case FaultKind::kSilentReplies:
      case FaultKind::kDrop: return {"#103"};
      case FaultKind::kRefuse: return {refusal};
      case FaultKind::kHangup:
      case FaultKind::kHangupReplies:
      case FaultKind::kUnplug: return {"#103", "#104", "#102COM2"};
      case FaultKind::kBusy:
      case FaultKind::kServerDown: return {"#102COM2"};
      default: return {};
    }
  }
};

// The faults of one row, for a sequence of `frames` frames from the PC.
inline std::vector<Fault> faultsAlong(long frames) {
  std::vector<Fault> faults;
  for (long n = 0; n < frames; ++n) faults.push_back({FaultKind::kSilent, n});
  for (long n = 1; n <= frames; ++n) faults.push_back({FaultKind::kRefuse, n});
  for (long n = 1; n < frames; ++n) faults.push_back({FaultKind::kHangup, n});
  for (long n = 1; n <= frames; ++n) faults.push_back({FaultKind::kUnplug, n});
  return faults;
}
inline std::vector<Fault> lineFaults() {
  return {{FaultKind::kGarbage, 0}, {FaultKind::kOverlong, 0}, {FaultKind::kBusy, 0}};
}
// What comes back from a receive: noise bursts before the given replies, a
// NUL in one, noise all the time, and a loopback.
inline std::vector<Fault> replyFaults(std::initializer_list<long> noiseAt, long nulAt) {
  std::vector<Fault> faults;
  for (long n : noiseAt) faults.push_back({FaultKind::kNoiseAt, n});
  faults.push_back({FaultKind::kNulAt, nulAt});
  faults.push_back({FaultKind::kNoise, 0});
  faults.push_back({FaultKind::kEcho, 0});
  return faults;
}
// Only the faults of one kind.
inline std::vector<Fault> only(const std::vector<Fault>& faults, std::initializer_list<FaultKind> kinds) {
  std::vector<Fault> out;
  for (const Fault& fault : faults)
    for (FaultKind kind : kinds)
      if (fault.kind == kind) out.push_back(fault);
  return out;
}

// The PC side of a cell: a real port and link in a private start directory.
class Rig : public LinkRig {
 public:
  explicit Rig(int page, Transport via = Transport::kLocal) : transport(via) {
    // Byte mode, as the settings have it by default; the pacing pauses
    // cost nothing on the rig's clock.
    session.settings.transitMode = 0;
    session.settings.timeoutMs = kTimeoutMs;
    host.page = page;
    host.onProcessEvents = [this] { pump(); };
    // The PC opens COM2, which leads to the emulator's link. When the
    // emulator is gone, COM2 still names that (now missing) entry, so a
    // reopening fails instead of reaching a serial device of the machine.
    // Over the network, COM2 is bound to the server's address once it runs.
    if (transport == Transport::kLocal) std::filesystem::create_symlink(kLineName, dir.file("COM2"));
    else bindCom2("tcp://127.0.0.1:" + std::to_string(freeLoopbackPort()));
    linkMissingPorts();
  }
  ~Rig() {
    server.reset();
    emulator.reset();
  }

  void bindCom2(const std::string& address) {
    std::filesystem::remove(dir.file("COM2"));
    std::filesystem::create_symlink(address, dir.file("COM2"));
  }

  void start(EmulatorOptions options, const Fault& applied) {
    fault = applied;
    options.portName = kLineName;
    const std::string n = std::to_string(fault.at);
    switch (fault.kind) {
      case FaultKind::kSilent: options.silentAfter = fault.at; break;
      case FaultKind::kSilentReplies: options.extraArgs.insert(options.extraArgs.end(), {"--silent-after-replies", n}); break;
      case FaultKind::kRefuse: options.extraArgs.insert(options.extraArgs.end(), {"--refuse-at", n}); break;
      case FaultKind::kGarbage: options.garbage = true; break;
      case FaultKind::kOverlong: options.overlong = true; break;
      case FaultKind::kHangup: options.hangupAfter = fault.at; break;
      case FaultKind::kHangupReplies: options.extraArgs.insert(options.extraArgs.end(), {"--hangup-after-replies", n}); break;
      case FaultKind::kUnplug: options.silentAfter = fault.at - 1; break;
      case FaultKind::kNoiseAt: options.extraArgs.insert(options.extraArgs.end(), {"--noise-at", n}); break;
      case FaultKind::kNoise: options.extraArgs.push_back("--noise"); break;
      case FaultKind::kNulAt: options.extraArgs.insert(options.extraArgs.end(), {"--nul-at", n}); break;
      case FaultKind::kEcho: options.extraArgs.push_back("--echo"); break;
      case FaultKind::kDrop: options.extraArgs.insert(options.extraArgs.end(), {"--drop-at", n}); break;
      default: break;
    }
    emulator = std::make_unique<Emulator>(dir, options);
    if (transport != Transport::kLocal && fault.kind != FaultKind::kServerDown) {
      server = std::make_unique<Ser2net>(dir, std::filesystem::read_symlink(dir.file(kLineName)).string(),
                                         transport == Transport::kRfc2217);
      bindCom2(server->address());
    }
    if (fault.kind == FaultKind::kBusy) {
      holder = std::make_unique<TComm>();
      holder->SetPortDirectory(session.startDir);
      holder->SetDeviceName("COM2");
      holder->Open();
      ASSERT_TRUE(holder->Enabled()) << "the other program could not take the port";
    }
  }

  // The frames the PC sent, once the emulator has taken the last of them
  // and done with it (the PC does not wait for an answer to some).
  Lines settledFrames() {
    waitUntil([this] { return !emulator->running() || (caughtUp() && emulator->idle()); });
    return emulator->framesIn();
  }

  const Lines& messages() const { return host.lines(host.page); }
  bool hasMessage(const std::string& line) const { return host.hasLine(host.page, line); }
  bool hasMessageStarting(const std::string& start) const {
    for (const std::string& line : messages())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }

  // The checks every cell shares: the port is closed (and free for the next
  // program), every opening was followed by a closing report, and a failure
  // shows the message of its fault.
  void checkCommon(bool result, const std::string& refusal) {
    EXPECT_FALSE(port.Enabled());
    // (Not once the emulator has hung up: its link goes with it.)
    if (emulator->running() && !holder && fault.kind != FaultKind::kServerDown &&
        emulator->logText().find("# hang-up") == std::string::npos) {
      TComm other;
      other.SetPortDirectory(session.startDir);
      other.SetDeviceName("COM2");
      other.Open();
      EXPECT_TRUE(other.Enabled()) << "the port was left locked";
      other.Close();
    }
    bool open = false;
    for (const std::string& line : messages()) {
      if (line.rfind("#101", 0) == 0) {
        EXPECT_FALSE(open) << "opened twice without a closing report";
        open = true;
      } else if (line.rfind("#107", 0) == 0) {
        open = false;
      }
    }
    EXPECT_FALSE(open) << "opened without a closing report";
    if (fault.lineFault()) {
      EXPECT_FALSE(result) << "success reported over a line without a controller";
    }
    if (!result) {
      const Lines wanted = fault.failureMessages(refusal, session.language());
      bool shown = wanted.empty();
      // A bound network port adds its address and the reason to the name.
      for (const std::string& line : wanted)
        for (const std::string& message : messages()) shown = shown || message.rfind(line, 0) == 0;
      EXPECT_TRUE(shown) << "no report of the fault";
    }
    if (fault.kind == FaultKind::kBusy || fault.kind == FaultKind::kServerDown) {
      EXPECT_FALSE(result);
      EXPECT_TRUE(emulator->framesIn().empty()) << "bytes went to a port another program holds";
    }
  }

  // One line per cell for the matrix table (QXR_FAULT_LOG).
  void record(const std::string& operation, bool result, const std::string& state) const {
    const char* path = std::getenv("QXR_FAULT_LOG");
    if (!path) return;
    std::string text;
    for (const std::string& line : messages()) text += (text.empty() ? "" : " ") + printable(line);
    for (const std::string& notice : host.notices) text += " [" + printable(notice) + "]";
    std::ofstream out(path, std::ios::app);
    const std::string via = transport == Transport::kLocal ? "" : std::string(" over ") + transportName(transport);
    out << operation << via << '\t' << fault.name() << '\t' << (result ? "ok" : "failed") << '\t' << text << '\t'
        << state << '\n';
  }

  static std::string printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
      if (c >= 0x20 && c < 0x7f && c != '\\') {
        out += static_cast<char>(c);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
      }
    }
    return out;
  }

  std::unique_ptr<Emulator> emulator;
  std::unique_ptr<TComm> holder;  // the other program's hold on the port
  std::unique_ptr<Ser2net> server;
  Fault fault;
  Transport transport;

 private:
  static constexpr const char* kLineName = "line-COM2";
  static constexpr int kTimeoutMs = 30000;
  // True when the emulator has logged every byte the PC wrote.
  bool caughtUp() const {
    std::uint64_t logged = 0;
    for (const std::string& frame : emulator->framesIn()) logged += frame.size();
    return logged >= link.bytesSent();
  }

  // True when the log's last frame from the PC got no answer, and a note
  // after it says so (a loopback's echo is not in the log: not this).
  bool lastFrameUnanswered() const {
    std::istringstream log(emulator->logText());
    bool answered = false, noted = false;
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("in ", 0) == 0) answered = noted = false;
      if (line.rfind("out ", 0) == 0) answered = true;
      for (const char* note : {"# silent", "# missed", "# unanswered"}) noted = noted || line.rfind(note, 0) == 0;
    }
    return noted && !answered;
  }

  // Runs in every round of a wait.
  void pump() {
    if (!emulator || !port.Enabled()) return;  // a closed port's waits cost no real time
    if (emulator->running() && fault.kind == FaultKind::kUnplug &&
        emulator->logText().find("# silent") != std::string::npos)
      emulator->unplug();  // it went silent where the device is to go
    if (emulator->running()) {
      const bool settled = port.InQueCount() == 0 && port.OutQueCount() == 0 && caughtUp() && emulator->idle() &&
                           (!server || server->idle());
      settledRounds_ = settled ? settledRounds_ + 1 : 0;
      const bool answersAmiss = fault.kind == FaultKind::kGarbage || fault.kind == FaultKind::kOverlong ||
                                fault.kind == FaultKind::kSilentReplies || fault.kind == FaultKind::kEcho ||
                                fault.lineFault();
      // Answered amiss: still for a whole round in which nothing came in.
      if (!(settled && lastFrameUnanswered()) && !(answersAmiss && settledRounds_ >= 2)) return;
    }
    settledRounds_ = 0;
    clock.advance(static_cast<std::uint32_t>(session.settings.timeoutMs));
  }
  int settledRounds_ = 0;
};

// A shell command line's output; `code` gets its exit status (one ended by
// a signal fails the test).
inline std::string runTool(const std::string& command, int& code) {
  const ToolRun run = runShell(command);
  EXPECT_GE(run.code, 0) << run.output;
  code = run.code;
  return run.output;
}

// One row of the matrix: an operation with the page state it works on
// (`Page`, made anew for every cell), what the controller holds at the
// start, and the operation's own checks, which return what the cell left
// behind (for the table).
template <typename Page>
struct Row {
  std::string operation;
  int page = kProgramPage;
  std::string refusal;  // the page's refusal message
  Transport transport = Transport::kLocal;
  EmulatorOptions options;
  std::function<void(Rig&, Page&)> setUp = [](Rig&, Page&) {};
  std::function<bool(Rig&, Page&)> run;
  std::function<std::string(Rig&, Page&, bool result)> check;

  // The frames of the fault-free run.
  long cleanFrames() const {
    Rig rig(page, transport);
    Page state;
    setUp(rig, state);
    rig.start(options, {});
    EXPECT_TRUE(run(rig, state)) << rig.emulator->logText();
    check(rig, state, true);
    return static_cast<long>(rig.settledFrames().size());
  }

  static int failureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
  }

  // The faults of the given kinds along the row's fault-free run.
  void runAlong(std::initializer_list<FaultKind> kinds) const { runCells(only(faultsAlong(cleanFrames()), kinds)); }

  void runCells(const std::vector<Fault>& faults) const {
    for (const Fault& fault : faults) {
      SCOPED_TRACE(operation + ", " + fault.name() + ", " + transportName(transport));
      Rig rig(page, transport);
      Page state;
      setUp(rig, state);
      const int failuresBefore = failureCount();
      rig.start(options, fault);
      if (::testing::Test::HasFatalFailure()) return;
      const bool result = run(rig, state);
      // Garbage and over-long replies put the exchange a reply behind, so the
      // operation may end before the controller has taken its last frame;
      // what the controller holds is looked at once it has.
      if (fault.kind == FaultKind::kOverlong || fault.kind == FaultKind::kGarbage) rig.settledFrames();
      rig.checkCommon(result, refusal);
      const std::string left = check(rig, state, result);
      rig.record(operation, result, left);
      if (failureCount() != failuresBefore) {
        std::string text;
        for (const std::string& line : rig.messages()) text += " " + Rig::printable(line);
        ADD_FAILURE() << (result ? "ok" : "failed") << ", messages:" << text << "\nemulator log:\n"
                      << rig.emulator->logText();
      }
    }
  }
};

// A qxrtool receive into a file that exists: the file is the old one or the
// whole new one, whatever comes back, exit 0 exactly for the latter, and no
// working file is left beside it. The tool runs on real time, with a short
// time-out from its start directory.
struct ToolCell {
  std::string operation;  // "qxrtool nc receive"
  int page = kProgramPage;
  std::string file, oldBytes, newBytes;
  EmulatorOptions options;
  std::vector<std::string> args;  // after qxrtool's options; "FILE" stands for the file

  // Runs the cell; the number of frames the tool sent.
  long run(const Fault& fault) const {
    SCOPED_TRACE(operation + ", " + fault.name());
    Rig rig(page);
    rig.dir.copyShipped(StartDir::everything);
    rig.dir.writeBlockMode(150);
    rig.dir.write(file, oldBytes);
    rig.start(options, fault);
    if (::testing::Test::HasFatalFailure()) return 0;
    // The device unplugged while the tool waits.
    std::atomic<bool> done{false};
    std::thread unplugger([&] {
      if (fault.kind == FaultKind::kUnplug &&
          waitUntil([&] { return done.load() || rig.emulator->logText().find("# silent") != std::string::npos; }) &&
          !done.load())
        rig.emulator->unplug();
    });
    std::vector<std::string> all = {"--dir", rig.dir.dir(), "--port", "COM2", "--yes"};
    for (const std::string& arg : args) all.push_back(arg == "FILE" ? rig.dir.file(file) : arg);
    const auto [code, output] = runTool("qxrtool", all);
    done.store(true);
    unplugger.join();

    EXPECT_GE(code, 0) << "ended by a signal: " << output;
    const std::string now = rig.dir.read(file);
    if (fault.lineFault()) {
      EXPECT_EQ(now, oldBytes) << output;
      EXPECT_NE(code, 0) << output;
    }
    EXPECT_TRUE(now == oldBytes || now == newBytes) << file << " damaged:\n" << now << output;
    EXPECT_EQ(code == 0, now == newBytes) << output;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.dir()))
      EXPECT_EQ(entry.path().filename().string().find(file + "."), std::string::npos) << "left behind: " << entry.path();
    if (const char* log = std::getenv("QXR_FAULT_LOG")) {
      std::ofstream(log, std::ios::app) << operation << '\t' << fault.name() << '\t' << (code == 0 ? "ok" : "failed")
                                        << '\t' << Rig::printable(output) << '\t' << file << ": "
                                        << (now == oldBytes ? "old" : now == newBytes ? "new" : "DAMAGED") << '\n';
    }
    return static_cast<long>(rig.settledFrames().size());
  }
};

}  // namespace qxr::test
