// What the link takes as a controller's reply: the shape of a reply, echoes
// of what the PC sent, replies still arriving when the time-out passes, and
// receives that would never end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/comm.h"
#include "link/link.h"
#include "link/linktexts.h"
#include "nc/ncops.h"
#include "support/linkrig.h"
#include "support/emulator.h"
#include "support/fakehost.h"

namespace qxr {
namespace {

using namespace std::string_literals;
constexpr std::size_t kNone = std::string_view::npos;

TEST(ReplyShape, ControlBytesOnlyWhereTheProtocolPutsThem) {
  const struct {
    std::string reply;
    bool cut;
    std::size_t noiseAt;
  } cases[] = {
      // Replies of the controller.
      {"$%\r\n", false, kNone},
      {"\x06\x07\x01\r\n", false, kNone},          // acknowledge line
      {"\x15\x07\x07\r\n", false, kNone},          // refusal line
      {"\x02\x06\x03", false, kNone},              // STX ACK ETX
      {"\x06\x02" "1000AABB03\x03", false, kNone}, // first record of a PLC read
      {"\x02QXR-302\x03", false, kNone},
      {"N12 G01 X5\tY\x8f\xa1\r\n", false, kNone}, // TAB and code-page bytes are text
      {"300\n", false, kNone},                     // a bare LF ends a line too
      {"\r\n", false, kNone},
      {"", false, kNone},
      {std::string(75, 'A'), true, kNone},         // a long line's first piece
      {std::string(74, 'A') + "\r", true, kNone},  // cut between CR and LF
      // Noise.
      {"AB\0CD\r\n"s, false, 2},                   // NUL
      {"\x8f\x00\x13\xff\x15\x07garbage\r\n"s, false, 1},
      {"N1 G0\x1b[0m\r\n", false, 5},              // escape
      {"N1 G0\x7f\r\n", false, 5},                 // DEL
      {"N1 G0\x02X\r\n", false, 5},                // STX amid the text
      {"N1 \x06\r\n", false, 3},                   // ACK after text
      {"N1 G0\rX\r\n", false, 5},                  // CR amid the text
      {"ab\r", false, 2},                          // CR at the end of a reply that was not cut
      {"\x02" "ABC\x03\x03", false, 4},            // one ETX too many cannot come, but is out of place
      {"\x04\x03", false, 0},
      // Line ends with a run of CRs, and NUL padding after the text.
      {"MYPROG\r\r\n", false, kNone},
      {"MYPROG\0\0\r\n"s, false, kNone},
      {"\x15\x07\x07\0\r\n"s, false, kNone},
      {std::string(73, 'A') + "\r\r", true, kNone},
      {"MY\0PROG\r\n"s, false, 2},                // a NUL followed by more text
      {std::string(74, 'A') + "\0"s, true, 74},     // padding in a cut reply: more text may follow
      {"AB\r\rC\r\n", false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.reply));
    EXPECT_EQ(replyNoiseAt(c.reply, c.cut), c.noiseAt);
  }
}

// Only a frame that no controller sends, coming back for the wait it was
// sent for, is an echo; data repeated back is the controller's consent.
TEST(ReplyShape, EchoOnlyOfAFrameThePcAloneSends) {
  const std::vector<std::string> sent = {"$%\r\n", "$L\r\n", "\x06\x07\x01\r\n", "\x02LON\x03", "07\r\n",
                                         "PART1   \r\n", "N1 G00 X0\r\n", "12=300\r\n", "\x02" "0A1BD8\x03"};
  const struct {
    std::string reply;
    bool echo;
  } cases[] = {
      {"$L\r\n", true},
      {"\x06\x07\x01\r\n", true},
      {"\x02LON\x03", true},
      {"$S\r\n", false},           // a frame the PC alone sends, but not sent for this wait
      {"$%\r\n", false},           // the controller answers the attention frame with itself
      {"07\r\n", false},           // a number, a name, a line, a value, a record repeated
      {"PART1   \r\n", false},
      {"N1 G00 X0\r\n", false},
      {"12=300\r\n", false},
      {"\x02" "0A1BD8\x03", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.reply));
    EXPECT_EQ(isEchoOf(c.reply, sent), c.echo);
  }
  EXPECT_FALSE(isEchoOf("$L\r\n", {}));
}

// Against the emulator on a pseudo-terminal, with its faults.
class ReplyWireTest : public ::testing::Test, public test::LinkRig {
 protected:
  ReplyWireTest() {
    linkMissingPorts();
    session.settings.transitMode = 1;
  }
  void start(test::EmulatorOptions options) {
    emulator = std::make_unique<test::Emulator>(dir, options);
    ASSERT_TRUE(open());
  }

  std::unique_ptr<test::Emulator> emulator;
};

// Each round of a wait moves the clock on by 100 ms, so a reply whose bytes
// come 30 ms apart spreads over many times the 300 ms time-out: it is still
// taken whole, as one read per byte with the port's read time-out takes it.
TEST_F(ReplyWireTest, AReplyStillArrivingWhenTheTimeOutPassesIsCompleted) {
  session.settings.timeoutMs = 300;
  test::EmulatorOptions options;
  options.programs[7] = "7\r\nPART1\r\nN1 G00 X0\r\n";
  options.extraArgs = {"--trickle", "30"};
  start(options);
  host.onProcessEvents = [this] { clock.advance(100); };
  const auto before = clock.tickMs();
  ASSERT_TRUE(link.TransToQXR("$%\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1)) << testing::PrintToString(lines());
  EXPECT_EQ(link.reply(), "$%\r\n");
  EXPECT_GT(clock.tickMs() - before, 300u);
  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "\x06\x07\x01\r\n");
}

// A receive ends, as a failure, at a line no program holds and beyond what
// the editor holds, however well formed the replies; the page is put back.
TEST_F(ReplyWireTest, AReceiveAlwaysEnds) {
  std::string longLine = "7\r\nLONG\r\nN1 G00\r\nN2 " + std::string(300, 'X') + "\r\nN3 M30\r\n";
  std::string manyLines = "8\r\nMANY\r\n";
  for (long i = 1; i <= kReceivedProgramLineLimit + 1; ++i) manyLines += "N" + std::to_string(i) + " X\r\n";
  const int language = session.language();
  const struct {
    int number;
    std::string message;
  } cases[] = {
      {7, linkText(language, LinkText::kLineTooLong, {}, static_cast<long>(kReceivedLineLimit))},
      {8, linkText(language, LinkText::kTooManyLines, {}, kReceivedProgramLineLimit)},
  };
  test::EmulatorOptions options;
  options.programs[7] = longLine;
  options.programs[8] = manyLines;
  start(options);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    MemoryNcPage page;
    page.number = c.number;
    page.lines = {"mine"};
    EXPECT_FALSE(NcOperations(operationParts(link), page).receive());
    EXPECT_FALSE(link.portOpen());
    EXPECT_EQ(page.lines, std::vector<std::string>{"mine"});  // what arrived is no program
    ASSERT_GE(lines().size(), 2u);
    EXPECT_EQ(lines()[lines().size() - 2], c.message);
    EXPECT_EQ(lines().back(), "#107");
  }
}

}  // namespace
}  // namespace qxr
