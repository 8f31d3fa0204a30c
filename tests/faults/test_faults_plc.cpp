// The fault matrix of the PLC transfers: send (compiled data from the
// editor) and receive (into "Mcn.tmp", which holds an earlier receive).
#include <gtest/gtest.h>

#include "base/textio.h"
#include "faults/faultrig.h"
#include "plc/mcn.h"
#include "plc/plc.h"
#include "plc/plcops.h"

namespace qxr {
namespace {

using test::Fault;
using test::FaultKind;
using test::Lines;
using test::Rig;

// The compiled lines of a small program, as a ".mcn" file holds them.
const Lines& compiledLines() {
  static const Lines lines = [] {
    PlcTables tables;
    const PlcCompilation compilation =
        compilePlcProgram({"TMR 5 #100", "CNT 7 #20 0001", "LDA $00FF", "@SLA #3", "END"}, tables);
    test::TempDir dir;
    EXPECT_TRUE(WriteMcnFile(dir.file("p.mcn"), tables, compilation.instructions));
    return readAllLines(dir.file("p.mcn"), kPlcFileLimit).value_or(Lines{});
  }();
  return lines;
}
std::string joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}
// What the controller holds before a send: another program.
const std::string kOldPlc = std::string(32, '0') + "\r\n" + std::string(32, '1') + "\r\n";

struct PlcState : MemoryPlcPage {
  PlcTables tables;
};
using PlcRow = test::Row<PlcState>;

PlcRow sendRow() {
  PlcRow row;
  row.operation = "PLC send";
  row.page = kPlcPage;
  row.refusal = "#162";
  row.options.plc = kOldPlc;
  row.setUp = [](Rig&, PlcState& page) {
    page.lines = compiledLines();
    page.delayMs = 0;
  };
  row.run = [](Rig& rig, PlcState& page) { return PlcOperations(operationParts(rig.link), page, page.tables).send(); };
  row.check = [](Rig& rig, PlcState& page, bool result) {
    EXPECT_EQ(page.lines, compiledLines());
    EXPECT_FALSE(page.progressVisible);
    const std::string held = rig.emulator->storedPlc();
    const bool complete = held == joined(compiledLines());
    // The controller takes a program only with its end-of-data record: old or whole.
    EXPECT_TRUE(complete || held == kOldPlc) << "the controller holds part of a program";
    if (result) {
      EXPECT_TRUE(complete) << "success reported for a program not stored";
      EXPECT_TRUE(rig.hasMessage("#106"));
    }
    return std::string(complete ? "controller: new" : "controller: old");
  };
  return row;
}

PlcRow receiveRow() {
  PlcRow row;
  row.operation = "PLC receive";
  row.page = kPlcPage;
  row.refusal = "#162";
  row.options.plc = joined(compiledLines());
  row.setUp = [](Rig& rig, PlcState& page) {
    page.lines = {"LD 0001"};
    rig.dir.write("Mcn.tmp", "0A0B\r\n");
  };
  row.run = [](Rig& rig, PlcState& page) { return PlcOperations(operationParts(rig.link), page, page.tables).receive(); };
  row.check = [](Rig& rig, PlcState& page, bool result) {
    const std::string mcn = rig.dir.read("Mcn.tmp");
    const bool complete = mcn == joined(compiledLines());
    EXPECT_TRUE(complete || mcn == "0A0B\r\n") << "Mcn.tmp damaged: " << mcn;
    EXPECT_FALSE(page.progressVisible);
    PlcTables tables;
    const Lines listing = listMcnText(joined(compiledLines()), tables).lines;
    if (result) {
      EXPECT_TRUE(complete);
      EXPECT_EQ(page.lines, listing);
      EXPECT_TRUE(rig.hasMessage("#232"));
    } else if (!rig.hasMessage("#176")) {
      // No record came: the editor keeps what it had.
      EXPECT_EQ(page.lines, Lines{"LD 0001"});
    } else {
      // Records came: a failed receive lists nothing of them.
      EXPECT_TRUE(page.lines.empty() || page.lines == listing);
    }
    std::string state = complete ? "Mcn.tmp: new" : "Mcn.tmp: old";
    state += page.lines == Lines{"LD 0001"} ? ", editor: kept"
             : page.lines.empty()           ? ", editor: empty"
                                            : ", editor: program";
    return state;
  };
  return row;
}

TEST(PlcSendFaults, SilenceAndRefusalAtEveryStep) { sendRow().runAlong({FaultKind::kSilent, FaultKind::kRefuse}); }
TEST(PlcSendFaults, HangUpUnplugGarbageOverlongAndAHeldPort) {
  const auto row = sendRow();
  row.runAlong({FaultKind::kHangup, FaultKind::kUnplug});
  row.runCells(test::lineFaults());
}
TEST(PlcReceiveFaults, EveryFault) {
  const auto row = receiveRow();
  row.runCells(test::faultsAlong(row.cleanFrames()));
  row.runCells(test::lineFaults());
}
// Noise before the link-on answer and amid the records, a NUL in the first
// record, noise all the time, a loopback; the send over a loopback and noise,
// and with its first link-on missed (the second try stores the program).
TEST(PlcReceiveFaults, NoiseNulAndEcho) { receiveRow().runCells(test::replyFaults({1, 4}, 2)); }
TEST(PlcSendFaults, EchoNoiseAndAMissedLinkOn) {
  sendRow().runCells({{FaultKind::kEcho, 0}, {FaultKind::kNoise, 0}});
  PlcRow row = sendRow();
  const auto check = row.check;
  row.check = [check](Rig& rig, PlcState& page, bool result) {
    EXPECT_TRUE(result);
    EXPECT_TRUE(rig.hasMessage("Try again!"));
    return check(rig, page, result);
  };
  row.runCells({{FaultKind::kDrop, 1}});
}

// The records of a read stream in without a frame from the PC between them:
// silence and hang-up after each reply.
TEST(PlcReceiveFaults, SilenceAndHangUpWithinTheRecords) {
  const auto row = receiveRow();
  const long replies = static_cast<long>(compiledLines().size()) + 3;  // link-on, records, end, link-off
  std::vector<Fault> faults;
  for (long n = 0; n < replies; ++n) faults.push_back({FaultKind::kSilentReplies, n});
  for (long n = 1; n < replies; ++n) faults.push_back({FaultKind::kHangupReplies, n});
  row.runCells(faults);
}

}  // namespace
}  // namespace qxr
