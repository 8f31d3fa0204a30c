// The PLC page's operations over a pseudo-terminal against a scripted
// controller: the frames on the wire, the messages, the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "base/textio.h"
#include "link/comm.h"
#include "link/link.h"
#include "plc/plcops.h"
#include "support/linkrig.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

const std::string kLinkOn = "\x02LON\x03";
const std::string kLinkOff = "\x02LOF\x03";
const std::string kSequenceWrite = "\x02SQW\x03";
const std::string kSequenceRead = "\x02SQR\x03";
const std::string kEndOfData = "\x02" "0001FE\x03";
const std::string kOk = "\x02\x06\x03";

// A data record worked out here, independently of the link's builder:
// STX, count, "00", data, ones' complement of count + bytes, ETX.
std::string record(const std::string& hex) {
  unsigned sum = static_cast<unsigned>(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) sum += std::stoul(hex.substr(i, 2), nullptr, 16);
  char head[8], tail[8];
  std::snprintf(head, sizeof head, "%02X00", static_cast<unsigned>(hex.size() / 2));
  std::snprintf(tail, sizeof tail, "%02X", (sum ^ 0xFFu) & 0xFFu);
  return "\x02" + std::string(head) + hex + tail + "\x03";
}

// The stream a controller sends after sequence-read: the first record comes
// one character later than the others.
std::string readStream(const Lines& mcnLines, bool withEnd = true, std::size_t records = SIZE_MAX) {
  std::string stream = "\x06" + record(mcnLines.at(0));
  for (std::size_t i = 1; i < mcnLines.size() && i < records; ++i) stream += record(mcnLines[i]);
  if (withEnd) stream += kEndOfData;
  return stream;
}

Lines mcnLinesOf(const Lines& source) {
  PlcTables tables;
  const PlcCompilation compiled = compilePlcProgram(source, tables);
  EXPECT_EQ(compiled.status, psOk);
  const std::string text = mcnText(mcnBytes(tables, compiled.instructions));
  Lines lines;
  for (std::size_t i = 0; i < text.size(); i += 34) lines.push_back(text.substr(i, 32));
  return lines;
}

class PlcTransferTest : public ::testing::Test, public test::LinkRig {
 protected:
  PlcTransferTest() : peer([this](const std::string& frame) { return answer(frame); }), operations(operationParts(link), page, tables) {
    peer.linkAs(dir, "COM2");
    host.page = kPlcPage;
    // Block mode: no pause after each byte, so the clock shows only the
    // operation's own pauses.
    session.settings.transitMode = 1;
    fastTimeouts();
  }
  ~PlcTransferTest() override { port.Close(); }  // before the peer goes

  std::string answer(const std::string& frame) {
    std::lock_guard<std::mutex> guard(scriptMutex);
    if (frame == kLinkOn) return silentLinkOns-- > 0 ? "" : kOk;
    if (frame == kSequenceWrite || frame == kLinkOff) return kOk;
    if (frame == kSequenceRead) return sequenceReadAnswer;
    return "";  // data records and end-of-data stream without answers
  }
  void script(std::string readAnswer, int silentLinkOnCount = 0) {
    std::lock_guard<std::mutex> guard(scriptMutex);
    sequenceReadAnswer = std::move(readAnswer);
    silentLinkOns = silentLinkOnCount;
  }
  const Lines& messages() { return host.lines(kPlcPage); }

  std::mutex scriptMutex;
  std::string sequenceReadAnswer;
  int silentLinkOns = 0;
  test::PtyPeer peer;
  MemoryPlcPage page;
  PlcTables tables;
  PlcOperations operations;
};

TEST_F(PlcTransferTest, SendsCompiledDataUnchangedAndNamesTheMcnAfterTheFile) {
  page.lines = {"0A1B", "", "FF"};
  page.delayMs = 250;
  ASSERT_TRUE(operations.send());
  ASSERT_TRUE(peer.waitForFrames(6));
  EXPECT_EQ(peer.frames(), (Lines{kLinkOn, kSequenceWrite, "\x02" "02000A1BD8\x03", record("FF"), kEndOfData, kLinkOff}));
  EXPECT_FALSE(dir.exists("Tmp.mcn"));
  EXPECT_EQ(clock.slept, 100u + 250u);

  // Source read from a file compiles next to it.
  dir.write("prog.v1.pmc", "LD 0001\r\nEND\r\n");
  ASSERT_TRUE(operations.readFile(dir.file("prog.v1.pmc")));
  EXPECT_EQ(page.lines, (Lines{"LD 0001", "END"}));
  EXPECT_EQ(page.fileLabel, "#35" + dir.file("prog.v1.pmc"));
  ASSERT_TRUE(operations.send());
  EXPECT_TRUE(dir.exists("prog.v1.mcn"));
}

TEST_F(PlcTransferTest, NothingIsSentForAnEmptyEditorACompileErrorOrAnUnwritableMcn) {
  ASSERT_FALSE(operations.send());
  EXPECT_EQ(messages(), (Lines{"#161"}));
  EXPECT_EQ(host.beeps, 1);

  // One lower-case letter makes compiled data source text.
  host.clearLines();
  page.lines = {"0A1B", "0a1b"};
  EXPECT_FALSE(operations.send());
  EXPECT_EQ(messages(), (Lines{"#202  N0001: 0A1B"}));

  host.clearLines();
  page.lines = {"LD 0001", "AND 0002", "; check", "OUT 0500", "LD 0016", "END"};
  EXPECT_FALSE(operations.send());
  EXPECT_EQ(messages(), (Lines{"#207  N0005: LD 0016"}));

  host.clearLines();
  page.lines = {"END"};
  page.filePath = dir.file("no-such-dir/prog.pmc");
  EXPECT_FALSE(operations.send());
  EXPECT_EQ(messages(), (Lines{"#170 " + dir.file("no-such-dir/prog.mcn"),
                               fileErrorText(session.language(), FileError::kNotFound, dir.file("no-such-dir/prog.mcn"))}));

  ASSERT_TRUE(peer.waitForBytes(link.bytesSent()));
  EXPECT_TRUE(peer.frames().empty());
}

TEST_F(PlcTransferTest, ReceiveWaitsAgainAfterAShortFirstAnswerAndStopsAtABadInstruction) {
  Lines mcn = mcnLinesOf({"LD 0001", "OUT 0500"});
  mcn.push_back("110000000000");  // opcode 11 is no instruction
  script("\x06\x03" + readStream(mcn));
  ASSERT_FALSE(operations.receive());
  EXPECT_EQ(page.lines, (Lines{"LD 0001", "OUT 0500"}));
  const Lines& m = messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[4], "Reloading....");
  EXPECT_EQ(Lines(m.end() - 2, m.end()), (Lines{"#208", "Command No.=3  "}));
}

TEST_F(PlcTransferTest, TimeOutsRetryLinkOnOnceAndNeverLeaveAHalfMcnTmp) {
  // The first link-on goes unanswered: one retry after "Try again!".
  page.lines = {"0A1B"};
  script("", 1);
  ASSERT_TRUE(operations.send());
  EXPECT_EQ(Lines(messages().begin(), messages().begin() + 7),
            (Lines{"#101COM2", "#108", "#103", "#107", "Try again!", "#101COM2", "#108"}));

  // Both link-ons go unanswered: the operation ends.
  host.clearLines();
  script("", 2);
  EXPECT_FALSE(operations.send());
  EXPECT_EQ(messages().back(), "#107");
  EXPECT_EQ(std::count(messages().begin(), messages().end(), "#103"), 2);

  // A receive interrupted mid-stream: the old Mcn.tmp stays, the editor stays empty.
  host.clearLines();
  dir.write("Mcn.tmp", "previous receive\r\n");
  const Lines mcn = mcnLinesOf({"LD 0001", "LD 0002", "LD 0003", "LD 0004", "LD 0005", "END"});
  script(readStream(mcn, false, 5));
  page.lines = {"edited"};
  EXPECT_FALSE(operations.receive());
  EXPECT_TRUE(page.lines.empty());
  EXPECT_EQ(page.received.size(), 5u);
  EXPECT_EQ(dir.read("Mcn.tmp"), "previous receive\r\n");
  EXPECT_FALSE(page.progressVisible);
  EXPECT_EQ(Lines(messages().end() - 2, messages().end()), (Lines{"#103", "#107"}));
}

TEST_F(PlcTransferTest, FilesKeepEveryLineAndAFailedSaveSaysSo) {
  // Lines longer than any read buffer, LF-only ends and a last line without one.
  const std::string longLine = "LD 0001 ;" + std::string(600, 'x');
  dir.write("a.plm", longLine + "\nOUT 0500\r\n\r\nEND");
  ASSERT_TRUE(operations.readFile(dir.file("a.plm")));
  EXPECT_EQ(page.lines, (Lines{longLine, "OUT 0500", "", "END"}));
  EXPECT_EQ(messages(), (Lines{"#111", "PLM#114:4", "#115"}));
  EXPECT_EQ(page.filePath, dir.file("a.plm"));

  ASSERT_TRUE(operations.writeFile(dir.file("b.pmc")));
  EXPECT_EQ(dir.read("b.pmc"), longLine + "\r\nOUT 0500\r\n\r\nEND\r\n");
  EXPECT_EQ(page.filePath, dir.file("b.pmc"));

  host.clearLines();
  EXPECT_FALSE(operations.writeFile(dir.file("missing/c.pmc")));
  EXPECT_EQ(messages(), (Lines{"#116", "#170 " + dir.file("missing/c.pmc"),
                               fileErrorText(session.language(), FileError::kNotFound, dir.file("missing/c.pmc"))}));
  host.clearLines();
  EXPECT_FALSE(operations.readFile(dir.file("missing.pmc")));
  EXPECT_EQ(page.lines.size(), 4u);  // the editor keeps what it held
  EXPECT_EQ(messages().back(), fileErrorText(session.language(), FileError::kNotFound, dir.file("missing.pmc")));
}

}  // namespace
}  // namespace qxr
