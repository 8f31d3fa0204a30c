// The controller emulator's sequences, driven through the link as the
// operations drive it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "link/comm.h"
#include "link/link.h"
#include "link/testsequences.h"
#include "support/linkrig.h"
#include "support/emulator.h"
#include "support/wait.h"
#include "support/fakehost.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
const std::string kAck(frames::kAckLine);
const std::string kRefusal(frames::kRefusalLine);

class EmulatorTest : public ::testing::Test, public test::LinkRig {
 protected:
  EmulatorTest() {
    session.settings.transitMode = 1;
    fastTimeouts(50);  // silent lines time out quickly
  }
  void start(const test::EmulatorOptions& options = {}) {
    emulator = std::make_unique<test::Emulator>(dir, options);
    link.ConnectRS232();
    ASSERT_TRUE(link.portOpen());
  }
  // One exchange: the frame, then the reply (empty when the wait failed).
  std::string ask(std::string_view frame, int report = 0) {
    if (!link.TransToQXR(frame)) return "<write failed>";
    return link.ReceiveFromQXR(kReplyLength, report) ? std::string(link.reply())
                                                      : link.replyLength() ? std::string(link.reply()) : "";
  }

  std::unique_ptr<test::Emulator> emulator;
};

TEST_F(EmulatorTest, NamedProgramStoredReadBackAndDeleted) {
  start();
  EXPECT_EQ(ask("$%\r\n"), "$%\r\n");
  EXPECT_EQ(ask("$S\r\n"), kAck);
  EXPECT_EQ(ask("07\r\n"), kAck);
  EXPECT_EQ(ask("PART1   \r\n"), kAck);
  EXPECT_EQ(ask("N1 G00 X0\r\n"), kAck);
  EXPECT_EQ(*emulator->storedProgram(7), "7\r\nPART1\r\nN1 G00 X0\r\n");  // each acknowledged line is kept
  EXPECT_EQ(ask("N2 \r\n"), kAck);
  EXPECT_EQ(ask("N3 M30\r\n"), kAck);
  EXPECT_EQ(*emulator->storedProgram(7), "7\r\nPART1\r\nN1 G00 X0\r\nN2 \r\nN3 M30\r\n");

  // The PC closes and reopens the port between phases.
  link.ConnectRS232();
  ASSERT_TRUE(link.portOpen());
  EXPECT_EQ(ask("$%\r\n"), "$%\r\n");
  EXPECT_EQ(ask("$L\r\n"), kAck);
  EXPECT_EQ(ask("07\r\n"), kAck);
  Lines replies;
  for (int i = 0; i < 5; ++i) replies.push_back(ask(kAck));
  EXPECT_EQ(replies, (Lines{"PART1\r\n", "N1 G00 X0\r\n", "N2 \r\n", "N3 M30\r\n", "$%\r\n"}));
  // An acknowledgement after the end gets no answer.
  EXPECT_EQ(ask(kAck), "");
  link.ConnectRS232();

  EXPECT_EQ(ask("$L\r\n"), kAck);
  EXPECT_EQ(ask("08\r\n"), kRefusal);  // absent
  EXPECT_EQ(ask("$K\r\n"), kAck);
  EXPECT_EQ(ask("07\r\n"), kAck);
  EXPECT_EQ(ask("OTHER   \r\n"), kAck);  // not its name: kept
  EXPECT_TRUE(emulator->storedProgram(7));
  EXPECT_EQ(ask("$K\r\n"), kAck);
  EXPECT_EQ(ask("07\r\n"), kAck);
  EXPECT_EQ(ask("PART1   \r\n"), "$V\r\n");
  EXPECT_FALSE(emulator->storedProgram(7));
  EXPECT_EQ(ask("$K\r\n"), kAck);
  EXPECT_EQ(ask("07\r\n"), kRefusal);
}

TEST_F(EmulatorTest, UnnamedGenerationAndStartingPrograms) {
  test::EmulatorOptions options;
  options.model = 200;
  options.programs[12] = "12\r\nN1 G01 X5\r\nN3 M30\r\n";
  start(options);
  EXPECT_EQ(*emulator->storedProgram(12), "12\r\nN1 G01 X5\r\nN3 M30\r\n");
  EXPECT_EQ(ask("$L\r\n"), kAck);
  EXPECT_EQ(ask("12\r\n"), kAck);
  EXPECT_EQ(ask(kAck), "N1 G01 X5\r\n");  // no name first
  EXPECT_EQ(ask(kAck), "N3 M30\r\n");
  EXPECT_EQ(ask(kAck), "$%\r\n");
  EXPECT_EQ(ask("$S\r\n"), kAck);
  EXPECT_EQ(ask("05\r\n"), kAck);
  EXPECT_EQ(ask("N1 G00\r\n"), kAck);  // the frame after the number is a program line
  EXPECT_EQ(*emulator->storedProgram(5), "5\r\nN1 G00\r\n");
  EXPECT_EQ(ask("$S\r\n"), kAck);
  EXPECT_EQ(ask("7\r\n"), kRefusal);  // numbers have two digits
}

TEST_F(EmulatorTest, ParametersWrittenAndRead) {
  test::EmulatorOptions options;
  options.parameters = "12=300\r\n40=-5\r\n";
  start(options);
  EXPECT_EQ(ask("$%\r\n"), "$%\r\n");
  EXPECT_EQ(ask("$R\r\n"), kAck);
  EXPECT_EQ(ask("12=301\r\n"), kAck);
  EXPECT_EQ(ask("1 2=5\r\n"), kAck);  // the number text is taken as it is
  EXPECT_EQ(ask("nonsense\r\n"), kRefusal);
  EXPECT_EQ(emulator->storedParameters(), "12=301\r\n40=-5\r\n1 2=5\r\n");
  EXPECT_EQ(ask("$P\r\n"), kAck);
  EXPECT_EQ(ask("40\r\n"), kAck);
  EXPECT_EQ(ask(kAck), "-5\r\n");
  EXPECT_EQ(ask("12\r\n"), kAck);
  EXPECT_EQ(ask(kAck), "301\r\n");
  EXPECT_EQ(ask("77\r\n"), kAck);
  EXPECT_EQ(ask(kAck), "0\r\n");  // never written
}

TEST_F(EmulatorTest, PlcProgramWrittenAndReadBack) {
  start();
  const Lines data = {"000102030405060708090A0B0C0D0E0F", "FF00", "0A1B"};
  ASSERT_TRUE(link.TransStr(frames::kLinkOn));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "\x02\x06\x03");  // exactly three bytes
  ASSERT_TRUE(link.TransStr(frames::kSequenceWrite));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  for (const auto& line : data) ASSERT_TRUE(link.TransToQXR(BuildHexRecord(line)));  // no replies
  ASSERT_TRUE(link.TransStr(frames::kEndOfData));
  ASSERT_TRUE(link.TransStr(frames::kLinkOff));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(emulator->storedPlc(), "000102030405060708090A0B0C0D0E0F\r\nFF00\r\n0A1B\r\n");

  ASSERT_TRUE(link.TransStr(frames::kLinkOn));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  ASSERT_TRUE(link.TransStr(frames::kSequenceRead));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  // One leading byte, then the record; the data starts at the seventh character.
  EXPECT_EQ(link.reply(), "\x06" + BuildHexRecord(data[0]));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), BuildHexRecord(data[1]));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), BuildHexRecord(data[2]));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), frames::kEndOfData);
  ASSERT_TRUE(link.TransStr(frames::kLinkOff));
  EXPECT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
}

TEST_F(EmulatorTest, DamagedPlcRecordRefusesTheLinkOffAndKeepsTheOldProgram) {
  test::EmulatorOptions options;
  options.plc = "1122\r\n";
  start(options);
  ASSERT_TRUE(link.TransStr(frames::kSequenceWrite));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  std::string record = BuildHexRecord("0A1B");
  record[record.size() - 2] = '0';  // checksum D8 -> D0
  ASSERT_TRUE(link.TransToQXR(record));
  ASSERT_TRUE(link.TransStr(frames::kEndOfData));
  ASSERT_TRUE(link.TransStr(frames::kLinkOff));
  host.page = kPlcPage;
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(host.lines(kPlcPage), (Lines{"#162", "#107"}));
  EXPECT_EQ(emulator->storedPlc(), "1122\r\n");
}

TEST_F(EmulatorTest, FaultsOnRequest) {
  test::EmulatorOptions options;
  options.refuse = {"$S", "N2*"};
  options.garbage = false;
  start(options);
  EXPECT_EQ(ask("$S\r\n"), kRefusal);
  EXPECT_EQ(ask("N2 X\r\n"), kRefusal);
  emulator.reset();

  options = {};
  options.garbage = true;
  start(options);
  EXPECT_EQ(ask("$L\r\n"), "");  // the NUL makes it line noise
  EXPECT_EQ(link.lastWait(), WaitEnd::kNoise);
  emulator.reset();

  // 100 bytes without a line end: a reply that did not end. The answer to
  // the attention frame is read away whole, whatever it is.
  options = {};
  options.overlong = true;
  start(options);
  EXPECT_EQ(ask("$%\r\n"), std::string(100, 'Z') + "$%\r\n");
  EXPECT_EQ(ask("$L\r\n"), "");
  EXPECT_EQ(link.lastWait(), WaitEnd::kUnended);
  emulator.reset();

  options = {};
  options.silentAfter = 1;
  start(options);
  EXPECT_EQ(ask("$%\r\n"), "$%\r\n");
  host.clearLines();
  EXPECT_EQ(ask("$%\r\n", 1), "");
  EXPECT_EQ(host.lines(kProgramPage), (Lines{"#103", "#107"}));
}

TEST_F(EmulatorTest, HangUpMidTransfer) {
  test::EmulatorOptions options;
  options.hangupAfter = 2;
  start(options);
  EXPECT_EQ(ask("$%\r\n"), "$%\r\n");
  EXPECT_EQ(ask("$S\r\n"), kAck);
  EXPECT_TRUE(test::waitUntil([&] { return !emulator->running(); }));
  EXPECT_FALSE(std::filesystem::is_symlink(dir.file("COM2")));
  host.clearLines();
  // The line is gone: the next exchange fails and closes the port.
  EXPECT_EQ(ask("07\r\n", 1), "<write failed>");
  EXPECT_FALSE(link.portOpen());
  EXPECT_EQ(host.lines(kProgramPage), (Lines{"#104", "#107"}));
}

TEST_F(EmulatorTest, TestButtonSequencesOnTheWire) {
  start();
  link.closePort();
  RunTestButton(link, 2);
  EXPECT_EQ(emulator->framesIn(), (Lines{"\x02LON\x03", "\x02QXR\x03", "\x02VER\x03", "\x02" "APR\x03", "\x02MRD\x03",
                                         "\x02" "BLW\x03", "\x02N3\x03", "\x02" "BLR\x03", "\x02LOF\x03"}));
  const Lines& lines = host.lines(kProgramPage);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "#108"), 8);
  EXPECT_TRUE(host.hasLine(kProgramPage, "\x02QXR-102\x03"));  // every reply is shown as text
  EXPECT_EQ(lines.back(), "#107");
  EXPECT_FALSE(link.portOpen());
  emulator.reset();

  start();
  link.closePort();
  RunTestButton(link, 3);
  EXPECT_EQ(emulator->framesIn(), (Lines{"RI\r\n", "WT01123456789ABCDEF123456789\r\n", "RD\r\n"}));
  emulator.reset();

  start();
  link.closePort();
  host.clearLines();
  // It listens first; nothing comes, so its wait times out and closes the
  // port, and the frames after it go nowhere.
  RunTestButton(link, 6);
  EXPECT_TRUE(emulator->framesIn().empty());
  EXPECT_EQ(Lines(host.lines(kProgramPage).begin(), host.lines(kProgramPage).begin() + 5),
            (Lines{"#101COM2", "RCV: ", "", "#103", "#107"}));
}


// The emulated line speed holds both ways: the bytes the PC writes are taken
// and the replies go out no faster than 10 bits a byte. Each case writes
// `frames` at once on a bare descriptor of the terminal and waits for every
// reply byte; only the floor is asserted, as the machine is shared. Without
// --baud nothing is paced: the same bytes take far less than even a slow
// line's time.
TEST(EmulatorLineSpeed, BytesTakeTheWireTimeBothWays) {
  const std::string ignored = std::string(298, 'x') + "\r\n";  // missed frames: no answer
  struct Case {
    const char* what;
    long baud;
    int ignoredFrames;     // 300 bytes each, before one attention frame
    int attentionFrames;   // "$%" CR LF each, answered with 100 bytes and "$%" CR LF
    bool overlong;
  };
  const Case cases[] = {
      {"received bytes at 115200", 115200, 10, 1, false},
      {"sent bytes at 115200", 115200, 0, 20, true},
      {"both ways at 38400", 38400, 2, 3, true},
      {"received bytes, no line speed", 0, 10, 1, false},
      {"sent bytes, no line speed", 0, 0, 20, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::EmulatorOptions options;
    options.baud = c.baud;
    options.overlong = c.overlong;
    for (int i = 1; i <= c.ignoredFrames; ++i) options.extraArgs.insert(options.extraArgs.end(), {"--drop-at", std::to_string(i)});
    test::Emulator emulator(dir, options);
    const int fd = ::open(emulator.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);

    std::string frames;
    for (int i = 0; i < c.ignoredFrames; ++i) frames += ignored;
    for (int i = 0; i < c.attentionFrames; ++i) frames += "$%\r\n";
    const std::size_t expected = static_cast<std::size_t>(c.attentionFrames) * ((c.overlong ? 100 : 0) + 4);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(::write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    std::string replies;
    char chunk[512];
    while (replies.size() < expected) {
      pollfd pfd{fd, POLLIN, 0};
      if (::poll(&pfd, 1, 5000) <= 0) break;
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n <= 0) break;
      replies.append(chunk, static_cast<std::size_t>(n));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    ASSERT_EQ(replies.size(), expected) << emulator.logText();
    EXPECT_EQ(replies.substr(replies.size() - 4), "$%\r\n");

    if (c.baud > 0) {
      // The replies overlap the frames after the first, so the floor is the
      // longer way's time, with the last frame's reply after it.
      const double byteTime = 10.0 / static_cast<double>(c.baud);
      const double lastReply = static_cast<double>(expected) / c.attentionFrames;
      const double floorIn = (static_cast<double>(frames.size()) + lastReply - 1) * byteTime;
      const double floorOut = (static_cast<double>(c.ignoredFrames) * ignored.size() + 4 + expected - 1) * byteTime;
      EXPECT_GE(seconds, std::max(floorIn, floorOut) * 0.99);
    }
  }
}

}  // namespace
}  // namespace qxr
