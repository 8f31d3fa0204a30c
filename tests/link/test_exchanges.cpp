// Sending frames and waiting for replies, against a scripted peer.
#include <filesystem>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <gtest/gtest.h>

#include "link/comm.h"
#include "link/link.h"
#include "link/testsequences.h"
#include "support/linkrig.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

class ExchangeTest : public ::testing::Test, public test::LinkRig {
 protected:
  explicit ExchangeTest(test::PtyPeer::Responder responder = nullptr, std::string terminators = "\n\x03")
      : peer(std::move(responder), std::move(terminators)) {
    peer.linkAs(dir, "COM2");
  }
  ~ExchangeTest() override { port.Close(); }  // before the peer goes
  void open() { ASSERT_TRUE(test::LinkRig::open()); }
  const Lines& programLines() { return lines(); }

  test::PtyPeer peer;
};

// A peer that answers from a table; unknown frames get no answer.
class AnsweringPeerTest : public ExchangeTest {
 protected:
  AnsweringPeerTest()
      : ExchangeTest([](const std::string& frame) -> std::string {
          if (frame == "$%\r\n") return "$%\r\n";
          if (frame == "$L\r\n") return "\x15\x07\x07\r\n";
          if (frame == "REFUSE+\r\n") return std::string("\x15\x07\x07\r\nmore\r\n");
          if (frame == "NUL\r\n") return std::string("AB\0CD\r\n", 7);
          if (frame == "HIGH\r\n") return "\x8f\r\n";
          if (frame == "LONG\r\n") return std::string(100, 'A') + "\r\n";
          if (frame == "\x02LON\x03") return "\x02\x06\x03";
          if (frame == "STR\r\n") return std::string("X\nY\0Z\x03", 6);
          return "";
        }) {}
};

TEST_F(AnsweringPeerTest, ConnectReportsAndPausesThroughTheClock) {
  link.ConnectRS232();
  EXPECT_TRUE(link.portOpen());
  EXPECT_EQ(programLines(), (Lines{"#101COM2"}));
  EXPECT_EQ(clock.slept, 100u);
  EXPECT_EQ(port.BaudRate(), br9600);  // baud index 4
  host.portIndex = 4;  // COM5, linked to nothing: no test opens a real device
  std::filesystem::create_symlink(dir.file("unplugged"), dir.file("COM5"));
  link.ConnectRS232();
  EXPECT_FALSE(link.portOpen());
  EXPECT_EQ(programLines().back(), test::unopenedPortLine(dir, "COM5", "unplugged"));
}

TEST_F(AnsweringPeerTest, ByteModeSendPacesEveryByteAndTraces) {
  session.settings.sendTrace = true;
  open();
  clock.slept = 0;
  ASSERT_TRUE(link.TransToQXR("$%\r\n"));
  EXPECT_EQ(clock.slept, 40u);  // 4 bytes, 10 ms after each
  ASSERT_TRUE(link.TransStr(frames::kLinkOn));
  EXPECT_EQ(programLines(), (Lines{"TRN: 24 25 0d 0a ", "TRN: \x02LON\x03" "02 4c 4f 4e 03 "}));
  // Only up to the NUL: the NUL is never sent.
  ASSERT_TRUE(link.TransToQXR(std::string("$%\r\n\0junk", 9)));
  ASSERT_TRUE(peer.waitForFrames(3));
  EXPECT_EQ(peer.frames(), (Lines{"$%\r\n", "\x02LON\x03", "$%\r\n"}));
  EXPECT_EQ(peer.pending(), "");
}

TEST_F(AnsweringPeerTest, BlockModeWritesOnceWithoutPacing) {
  session.settings.sendTrace = true;
  session.settings.transitMode = 1;
  open();
  clock.slept = 0;
  ASSERT_TRUE(link.TransToQXR("$%\r\n"));
  ASSERT_TRUE(link.TransStr(frames::kLinkOn));
  EXPECT_EQ(clock.slept, 0u);
  EXPECT_EQ(programLines(), (Lines{"TRN: ", "TRN: \x02LON\x03"}));
}

TEST_F(AnsweringPeerTest, LongFrameTraceIsCutAtTheBuffer) {
  session.settings.sendTrace = true;
  session.settings.bytePacingMs = 0;
  open();
  const std::string frame = std::string(120, 'N') + "\r\n";
  ASSERT_TRUE(link.TransToQXR(frame));
  const std::string& trace = programLines().back();
  EXPECT_LE(trace.size(), 295u);
  EXPECT_EQ(trace.size(), 5u + 96u * 3u);  // whole entries only
  EXPECT_EQ(trace.substr(0, 11), "TRN: 4e 4e ");
  ASSERT_TRUE(peer.waitForFrames(1));
  EXPECT_EQ(peer.frames()[0], frame);  // the frame itself is whole
}

TEST_F(AnsweringPeerTest, RepliesEndAtLfOrEtxAndAreTraced) {
  session.settings.receiveTrace = true;
  session.settings.transitMode = 1;
  open();
  ASSERT_TRUE(link.TransToQXR("$%\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "$%\r\n");
  ASSERT_TRUE(link.TransStr(frames::kLinkOn));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "\x02\x06\x03");
  ASSERT_TRUE(link.TransToQXR("HIGH\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(programLines(), (Lines{"RCV: 24 25 0d 0a ", "RCV: 02 06 03 ", "RCV: 8f 0d 0a "}));
}

TEST_F(AnsweringPeerTest, ReplyWithNulAndReplyCutAtMaximumLength) {
  session.settings.receiveTrace = true;
  session.settings.transitMode = 1;
  open();
  ASSERT_TRUE(link.TransToQXR("NUL\r\n"));
  // No controller sends a NUL: the reply is line noise, and ends the wait.
  ASSERT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "");
  EXPECT_EQ(link.replyLength(), 0u);
  EXPECT_EQ(programLines()[0], "RCV: 41 42 00 43 44 0d 0a ");
  EXPECT_EQ(programLines().back(), "#107");
  EXPECT_FALSE(link.portOpen());
  open();

  // A reply that fills its bound without a line end is no answer: the wait
  // fails and the port closes, so its rest is never read as the next reply.
  ASSERT_TRUE(link.TransToQXR("LONG\r\n"));
  ASSERT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.lastWait(), WaitEnd::kUnended);
  EXPECT_EQ(link.reply(), "");
  EXPECT_FALSE(link.portOpen());
  open();
  // A caller asking for more than the buffer holds gets at most 255 bytes.
  ASSERT_TRUE(link.TransToQXR("LONG\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(1000, 1));
  EXPECT_EQ(link.replyLength(), 102u);
}

TEST_F(AnsweringPeerTest, RefusalReportedPerPage) {
  session.settings.transitMode = 1;
  const struct {
    int page;
    Lines lines;
  } cases[] = {
      {kProgramPage, {"#122", "#107"}},
      {kParameterPage, {"#142", "#107"}},
      {kPlcPage, {"#162", "#107"}},
  };
  for (const auto& c : cases) {
    host.page = c.page;
    open();
    const int beeps = host.beeps;
    ASSERT_TRUE(link.TransToQXR("$L\r\n"));
    EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
    EXPECT_EQ(host.lines(c.page), c.lines) << c.page;
    EXPECT_EQ(host.beeps, beeps + 1);
    EXPECT_FALSE(link.portOpen());
  }
  // Another page on top: no message anywhere, but the beep and the close.
  host.page = 0;
  open();
  host.page = 5;
  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_TRUE(host.allLines().empty());
  EXPECT_FALSE(link.portOpen());
}

TEST_F(AnsweringPeerTest, UnreportedRefusalAndTheProgramNumberVariant) {
  session.settings.transitMode = 1;
  open();
  const int beeps = host.beeps;
  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 0));
  EXPECT_TRUE(link.portOpen());
  EXPECT_TRUE(host.allLines().empty());

  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  EXPECT_FALSE(link.ReceiveQXRProgNo(kReplyLength, 1));
  EXPECT_EQ(programLines(), (Lines{"#122"}));
  EXPECT_TRUE(link.portOpen());
  host.page = kParameterPage;
  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  EXPECT_FALSE(link.ReceiveQXRProgNo(kReplyLength, 1));
  EXPECT_EQ(host.allLines().size(), 1u);
  EXPECT_EQ(host.beeps, beeps);

  // The refusal line followed by more bytes: the LF ends the first reply.
  host.page = kProgramPage;
  ASSERT_TRUE(link.TransToQXR("REFUSE+\r\n"));
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 0));
  EXPECT_EQ(link.reply(), "\x15\x07\x07\r\n");
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 0));
  EXPECT_EQ(link.reply(), "more\r\n");
}

TEST_F(AnsweringPeerTest, SilentLineTimesOutWithMessagesAndAClearedBuffer) {
  session.settings.transitMode = 1;
  open();
  fastTimeouts();
  ASSERT_TRUE(link.TransToQXR("$%\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  ASSERT_TRUE(link.TransToQXR("nothing\r\n"));
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "");
  EXPECT_EQ(programLines(), (Lines{"#103", "#107"}));
  EXPECT_EQ(host.beeps, 1);
  EXPECT_FALSE(link.portOpen());

  // On a closed port the send succeeds and the wait times out without 107.
  host.clearLines();
  EXPECT_TRUE(link.TransToQXR("$%\r\n"));
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(programLines(), (Lines{"#103"}));
}

TEST_F(AnsweringPeerTest, TimeOutSurvivesTheWrapOfTheTick) {
  session.settings.transitMode = 1;
  open();
  clock.setTick(0xFFFFFF00u);
  fastTimeouts(100);
  host.eventRounds = 0;
  EXPECT_FALSE(link.ReceiveFromQXR(kReplyLength, 1));
  // About ten rounds of 100 ms: neither at once nor never.
  EXPECT_GE(host.eventRounds, 3);
  EXPECT_LE(host.eventRounds, 11);
}

TEST_F(AnsweringPeerTest, FailedWriteReportsAndCloses) {
  open();
  peer.hangUp();
  EXPECT_FALSE(link.TransToQXR("$%\r\n"));
  EXPECT_EQ(programLines(), (Lines{"#104", "#107"}));
  EXPECT_FALSE(link.portOpen());
}

TEST_F(AnsweringPeerTest, TestDeviceSendAndStxWait) {
  open();
  clock.sleeps = 0;
  ASSERT_TRUE(link.TransCSBLStr("RI\r\n"));
  EXPECT_EQ(clock.sleeps, 0);  // no pacing
  EXPECT_EQ(programLines(), (Lines{"TRN: RI\r\nR I \r \n "}));

  // ReceiveStr: only ETX ends the reply; NUL shows as a blank; both lines always.
  host.clearLines();
  ASSERT_TRUE(link.TransToQXR("STR\r\n"));
  ASSERT_TRUE(link.ReceiveStr(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "X\nY Z\x03");
  EXPECT_EQ(programLines(), (Lines{"RCV: 58 0a 59 20 5a 03 ", "X\nY Z\x03"}));

  // Its time-out: the two lines, then 103 and 107.
  host.clearLines();
  fastTimeouts(500);
  EXPECT_FALSE(link.ReceiveStr(kReplyLength, 1));
  EXPECT_EQ(programLines(), (Lines{"RCV: ", "", "#103", "#107"}));
  EXPECT_FALSE(link.portOpen());
}

TEST_F(AnsweringPeerTest, PageReportGoesToThePageOnTop) {
  host.page = kPlcPage;
  link.ShowPageMessage(108, "x");
  link.ShowPageMessage(0, "plain");
  host.page = 3;
  link.ShowPageMessage(108);
  EXPECT_EQ(host.lines(kPlcPage), (Lines{"#108x", "plain"}));
  EXPECT_EQ(host.allLines().size(), 2u);
}

// The test device answers ACK and ENQ bytes; its replies end with ACK, LF or ETX.
class TestDeviceTest : public ExchangeTest {
 protected:
  TestDeviceTest()
      : ExchangeTest(
            [](const std::string& frame) -> std::string {
              if (frame == "\x06") return "\x06";
              if (frame == "\x05") return std::string("\x18" "AB\0\x03", 5);
              return "";
            },
            "\n\x03\x05\x06") {}
};

TEST_F(TestDeviceTest, IdleTimeOutAndTraceSplitting) {
  open();
  ASSERT_TRUE(link.TransCSBLStr("\x05"));
  ASSERT_TRUE(link.ReceiveCSBLStr(180, 1));
  EXPECT_EQ(link.reply(), "\x18" "AB \x03");
  EXPECT_EQ(programLines(), (Lines{"TRN: \x05\x05 ", "RCV: ", "18,41,42,20,", "03,", "\x18" "AB \x03"}));

  host.clearLines();
  fastTimeouts(400);
  link.testTimeoutMs = 1000;
  const int beeps = host.beeps;
  EXPECT_FALSE(link.ReceiveCSBLStr(180, 1));
  EXPECT_EQ(programLines(), (Lines{"RCV: ", ""}));
  EXPECT_EQ(host.beeps, beeps);
  EXPECT_TRUE(link.portOpen());
}

TEST_F(TestDeviceTest, AcknowledgeButtonSequenceOnTheWire) {
  session.settings.transitMode = 1;
  RunTestButton(link, 4);
  EXPECT_FALSE(link.portOpen());
  const std::string wire = peer.received();
  EXPECT_EQ(wire.substr(0, 109), std::string(109, '\x06'));
  EXPECT_EQ(wire.substr(109), std::string("\x05\x02" "0125C02\x03" "70"));
  EXPECT_EQ(link.testTimeoutMs, 300u);
  // It left the port at 7 data bits, even parity.
  EXPECT_EQ(port.DataBits(), da7);
  EXPECT_EQ(port.Parity(), paEven);
  EXPECT_EQ(programLines().front(), "#101COM2");
  EXPECT_EQ(clock.slept, 0u);  // no 100 ms pause
}

TEST_F(AnsweringPeerTest, LinkOnListingButton) {
  session.settings.transitMode = 1;
  fastTimeouts();
  RunTestButton(link, 5);
  const Lines& lines = programLines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(Lines(lines.begin() + 3, lines.begin() + 6),
            (Lines{"(I1)\x02=2", "(I2)\x06=6", "(I3)\x03=3"}));
  RunTestButton(link, 1);  // nothing at all
  EXPECT_EQ(peer.frames().size(), 2u);
}

// The one exchange here that waits for real time: a silent controller with
// "Time Out Timer" 1000 ends the wait no sooner than that (how much later is
// the benchmarks' business).
TEST_F(AnsweringPeerTest, SilentControllerWaitEndsBetweenTimeOutAndOneSecondMore) {
  SystemClock& real = SystemClock::instance();
  Link realLink(port, session, host, real);
  session.settings.transitMode = 1;
  realLink.ConnectRS232();
  ASSERT_TRUE(realLink.portOpen());
  host.clearLines();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(realLink.ReceiveFromQXR(kReplyLength, 1));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // The time-out counts whole ticks of a millisecond: it began part-way
  // through one, so it may end up to a tick before 1000 ms of real time.
  EXPECT_GE(elapsed, std::chrono::milliseconds(999));
  EXPECT_EQ(programLines(), (Lines{"#103", "#107"}));
  EXPECT_GT(host.eventRounds, 10);  // the window kept being served
}

}  // namespace
}  // namespace qxr
