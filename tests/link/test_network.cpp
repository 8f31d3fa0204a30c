// Ports on serial device servers: qxrtool against the controller emulator
// served by ser2net on 127.0.0.1, in RFC 2217 and raw TCP mode, compared
// frame by frame with the same transfer over a local port; the line speed
// that reaches the served terminal; a raw TCP peer scripted here; failures
// to connect.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <termios.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "base/settings.h"
#include "link/comm.h"
#include "link/link.h"
#include "plc/mcn.h"
#include "plc/plc.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/linkrig.h"
#include "support/process.h"
#include "support/startdir.h"
#include "support/wait.h"
#include "support/ptypeer.h"
#include "support/ser2net.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
using test::Emulator;
using test::EmulatorOptions;
using test::Ser2net;
using test::TempDir;

// A program line with the Telnet escape byte and a Big5 name ("程式"; no
// byte of it is a small letter, which the name rule would raise).
const std::string kProgram7 = "7\r\n\xb5\x7b\xa6\xa1\r\nN1 G00 X0\r\nN2 (\xff\xff A\xff)\r\nN3 M30\r\n";
const std::string kPlcSource = "TMR 5 #100\r\nCNT 7 #20 0001\r\nLDA $00FF\r\n@SLA #3\r\nEND\r\n";
const std::string kParameters = "Serial baud rate [1: 1200 ... 5: 19200](1)=4\r\nSerial time-out [ms](2)=1000\r\n";

// A start directory with the shipped data, a controller on its own
// pseudo-terminal, and (for a network station) ser2net serving it.
struct Station {
  enum class Via { kLocal, kRfc2217, kRawTcp };

  Station(Via via, const EmulatorOptions& given, bool blockMode) {
    Settings settings;
    settings.transitMode = blockMode ? 1 : 0;
    settings.bytePacingMs = 0;
    settings.plcTransferDelayMs = 0;
    dir.write("Init.ini", formatInitIni(settings));
    dir.write("program7.nc", kProgram7);
    dir.write("ladder.plm", kPlcSource);
    dir.write("values.par", kParameters);
    EmulatorOptions options = given;
    options.portName = "line";
    emulator = std::make_unique<Emulator>(dir, options);
    if (via == Via::kLocal) {
      port = "COM2";
      std::filesystem::create_symlink(dir.file("line"), dir.file("COM2"));
    } else {
      server = std::make_unique<Ser2net>(dir, std::filesystem::read_symlink(dir.file("line")).string(),
                                         via == Via::kRfc2217);
      port = server->address();
    }
  }

  std::string tool(const std::string& arguments, int& code) {
    auto run = test::runShell(test::toolCommand("qxrtool", dir.dir()) + " --port " + port + " --yes " + arguments);
    code = run.code;
    return run.output;
  }

  test::StartDir dir{-1, test::StartDir::everything};
  std::unique_ptr<Emulator> emulator;
  std::unique_ptr<Ser2net> server;
  std::string port;
};

struct Transfer {
  const char* name;
  std::string arguments;  // after qxrtool's options; OUT names the output file
  EmulatorOptions options;
  bool blockMode = true;
};

std::vector<Transfer> transfers() {
  EmulatorOptions withProgram;
  withProgram.programs[7] = kProgram7;
  EmulatorOptions withParameters;
  withParameters.parameters = "1=4\r\n2=1000\r\n";
  EmulatorOptions withPlc;
  {
    PlcTables tables;
    const PlcCompilation compiled = compilePlcProgram({"TMR 5 #100", "CNT 7 #20 0001", "LDA $00FF", "END"}, tables);
    TempDir scratch;
    EXPECT_TRUE(WriteMcnFile(scratch.file("p.mcn"), tables, compiled.instructions));
    withPlc.plc = scratch.read("p.mcn");
  }
  return {
      {"nc send in byte mode", "nc send program7.nc", {}, false},
      {"nc send in block mode", "nc send program7.nc", {}},
      {"nc receive", "nc receive 7 -o OUT", withProgram},
      {"nc delete", "nc delete 7", withProgram},
      {"param send", "param send values.par", {}},
      {"param receive", "param receive -o OUT --model QXR102 --version SD 1 2", withParameters},
      {"plc send", "plc send ladder.plm", {}},
      {"plc receive", "plc receive -o OUT", withPlc},
  };
}

std::string withOutput(std::string arguments, const TempDir& dir) {
  if (const auto at = arguments.find("OUT"); at != std::string::npos) arguments.replace(at, 3, dir.file("out"));
  return arguments;
}

// Every transfer through ser2net puts the same bytes before the controller
// as over a local port, stores the same, and writes the same file.
void compareWithLocal(Station::Via via) {
  for (const Transfer& transfer : transfers()) {
    SCOPED_TRACE(transfer.name);
    Station local(Station::Via::kLocal, transfer.options, transfer.blockMode);
    Station remote(via, transfer.options, transfer.blockMode);
    int localCode = -1, remoteCode = -1;
    const std::string localOutput = local.tool(withOutput(transfer.arguments, local.dir), localCode);
    const std::string remoteOutput = remote.tool(withOutput(transfer.arguments, remote.dir), remoteCode);
    EXPECT_EQ(localCode, 0) << localOutput;
    EXPECT_EQ(remoteCode, 0) << remoteOutput;
    EXPECT_NE(remoteOutput.find("Port opened: " + remote.port), std::string::npos) << remoteOutput;
    EXPECT_EQ(remote.emulator->framesIn(), local.emulator->framesIn());
    EXPECT_EQ(remote.emulator->repliesOut(), local.emulator->repliesOut());
    EXPECT_EQ(remote.emulator->storedProgram(7), local.emulator->storedProgram(7));
    EXPECT_EQ(remote.emulator->storedParameters(), local.emulator->storedParameters());
    EXPECT_EQ(remote.emulator->storedPlc(), local.emulator->storedPlc());
    EXPECT_EQ(remote.dir.read("out"), local.dir.read("out"));
  }
}

TEST(NetworkPort, EveryTransferOverRfc2217IsTheLocalOnesByteForByte) {
  QXR_REQUIRE_TOOL("ser2net");
  QXR_REQUIRE_TOOL("qxrtool");
  compareWithLocal(Station::Via::kRfc2217);
}

TEST(NetworkPort, EveryTransferOverRawTcpIsTheLocalOnesByteForByte) {
  QXR_REQUIRE_TOOL("ser2net");
  QXR_REQUIRE_TOOL("qxrtool");
  compareWithLocal(Station::Via::kRawTcp);
}

// The escape byte crosses Telnet once each way: single at the controller,
// single in the received file.
TEST(NetworkPort, TheTelnetEscapeByteCrossesUnchangedBothWays) {
  QXR_REQUIRE_TOOL("ser2net");
  QXR_REQUIRE_TOOL("qxrtool");
  EmulatorOptions options;
  options.model = 102;
  Station station(Station::Via::kRfc2217, options, true);
  int code = -1;
  std::string output = station.tool("nc send program7.nc", code);
  ASSERT_EQ(code, 0) << output;
  EXPECT_EQ(station.emulator->storedProgram(7), kProgram7);
  const Lines frames = station.emulator->framesIn();
  EXPECT_NE(std::find(frames.begin(), frames.end(), "N2 (\xff\xff A\xff)\r\n"), frames.end());
  output = station.tool("nc receive 7 -o " + station.dir.file("back.nc"), code);
  ASSERT_EQ(code, 0) << output;
  EXPECT_EQ(station.dir.read("back.nc"), kProgram7);
}

// The speed of Customer.ini (and any later change) reaches the terminal
// that ser2net serves, with 8 data bits, no parity and one stop bit.
TEST(NetworkPort, TheLineSettingsReachTheServedTerminal) {
  QXR_REQUIRE_TOOL("ser2net");
  TempDir dir;
  test::PtyPair pty;
  Ser2net server(dir, pty.slavePath());
  struct Case {
    TBaudRate rate;
    speed_t expected;
  };
  for (const Case& c : {Case{br1200, B1200}, Case{br2400, B2400}, Case{br4800, B4800}, Case{br19200, B19200},
                        Case{br9600, B9600}}) {
    SCOPED_TRACE(static_cast<int>(c.expected));
    TComm port;
    port.SetDeviceName(server.address());
    port.SetBaudRate(c.rate);
    port.SetDataBits(da8);
    port.SetParity(paNone);
    port.SetStopBits(sb10);
    port.Open();
    ASSERT_TRUE(port.Enabled()) << port.OpenFailureText(1);
    // Open returns once the server has confirmed every setting.
    termios settings{};
    ASSERT_EQ(::tcgetattr(pty.master(), &settings), 0);
    EXPECT_EQ(::cfgetospeed(&settings), c.expected);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(settings.c_cflag & PARENB);
    EXPECT_FALSE(settings.c_cflag & CSTOPB);
    // A change while open goes to the server at once.
    port.SetBaudRate(br38400);
    test::waitUntil([&] { return ::tcgetattr(pty.master(), &settings) == 0 && ::cfgetospeed(&settings) == B38400; });
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B38400));
    port.Close();
  }
}

// A raw TCP peer scripted here: the bytes go as they are (no Telnet, no
// escaping), every byte of byte mode in a segment of its own is taken, and
// the peer's closing is a hang-up: the wait times out, the port closes.
class ScriptedTcpPeer {
 public:
  ScriptedTcpPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    ::listen(listener_, 4);
    port_ = ntohs(address.sin_port);
  }
  ~ScriptedTcpPeer() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  // Accepts one connection, reads until `until` bytes came, answers, and
  // closes when `hangUp`.
  void serve(std::size_t until, std::string answer, bool hangUp) {
    thread_ = std::thread([=, this] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      char byte;
      while (received_.size() < until && ::recv(fd, &byte, 1, 0) == 1) received_ += byte;
      ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      if (!hangUp) {
        while (::recv(fd, &byte, 1, 0) == 1) received_ += byte;
      }
      ::close(fd);
    });
  }
  std::string address() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  std::string received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string received_;
};

TEST(NetworkPort, RawTcpCarriesBytesAsTheyAreAndAClosedPeerIsAHangUp) {
  struct Case {
    const char* name;
    int transitMode;
    bool hangUp;
  };
  for (const Case& c : {Case{"byte mode", 0, false}, Case{"block mode", 1, false}, Case{"hang-up", 1, true}}) {
    SCOPED_TRACE(c.name);
    test::LinkRig rig;
    rig.session.settings.transitMode = c.transitMode;
    rig.session.settings.timeoutMs = 300;
    rig.fastTimeouts(20);
    ScriptedTcpPeer peer;
    std::filesystem::create_symlink(peer.address(), rig.dir.file("COM2"));
    const std::string frame = "N1 (\xff\xfe\xfb)\r\n";
    peer.serve(frame.size(), c.hangUp ? "" : std::string("\x06\xff\r\n", 4), c.hangUp);
    rig.link.ConnectRS232();
    ASSERT_TRUE(rig.port.Enabled());
    EXPECT_EQ(rig.lines().front(), "#101COM2 (" + peer.address() + ")");
    ASSERT_TRUE(rig.link.TransToQXR(frame));
    EXPECT_EQ(rig.link.ReceiveFromQXR(kReplyLength, 1), !c.hangUp);
    if (!c.hangUp) {
      EXPECT_EQ(std::string(rig.link.reply()), std::string("\x06\xff\r\n", 4));
      rig.link.closePort();
    } else {
      EXPECT_TRUE(rig.host.hasLine(kProgramPage, "#103"));
    }
    EXPECT_FALSE(rig.port.Enabled());
    EXPECT_EQ(peer.received(), frame);
  }
}

// Failing to connect is a port that did not open, with the address and the
// reason (a hang is caught by the test's time-out).
TEST(NetworkPort, AConnectionThatFailsIsAPortThatDidNotOpen) {
  // A listener whose queue is full leaves the next connection unanswered.
  const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::getsockname(full, reinterpret_cast<sockaddr*>(&address), &size);
  ::listen(full, 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  const std::string unanswered = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(test::freeLoopbackPort());

  struct Case {
    std::string target;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {refused, "connection refused"},
      {unanswered, "no connection within 300 ms"},
      {"rfc2217://127.0.0.1:0", "not a network port address (rfc2217://HOST:PORT or tcp://HOST:PORT)"},
      {"tcp://127.0.0.1", "not a network port address (rfc2217://HOST:PORT or tcp://HOST:PORT)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    test::LinkRig rig;
    rig.session.settings.language = 1;
    rig.session.settings.timeoutMs = 300;
    std::filesystem::create_symlink(c.target, rig.dir.file("COM2"));
    EXPECT_FALSE(rig.link.openSelectedPort());
    EXPECT_EQ(rig.lines(), (Lines{"#102COM2 (" + c.target + "): " + c.reason}));
    EXPECT_FALSE(rig.port.Enabled());
  }
  for (int fd : fillers) ::close(fd);
  ::close(full);
}

}  // namespace
}  // namespace qxr
