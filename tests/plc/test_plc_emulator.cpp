// PLC send and receive end to end against the controller emulator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/textio.h"
#include "link/comm.h"
#include "link/link.h"
#include "plc/plcops.h"
#include "support/emulator.h"
#include "support/linkrig.h"
#include "support/fakehost.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

const Lines kProgram = {"TMR 5 #100 ; conveyor",  "CNT 7 #20 0001", "DW #100 DM10", "SFT 1000 1015",
                        "ATMU 1 10 500 501",      "LDA $00FF",      "@LDA #TM5",    "@SLA #3",
                        " \t",                    "",               "END"};

class PlcEmulatorTest : public ::testing::Test, public test::LinkRig {
 protected:
  explicit PlcEmulatorTest() {
    session.settings.transitMode = 1;
    host.page = kPlcPage;
  }
  const Lines& messages() { return lines(kPlcPage); }

  MemoryPlcPage page;
  PlcTables tables;
};

TEST_F(PlcEmulatorTest, SendThenReceiveGivesTheCanonicalProgramBack) {
  test::Emulator emulator(dir);
  PlcOperations operations(operationParts(link), page, tables);

  page.lines = kProgram;
  page.filePath = dir.file("conveyor.pmc");
  page.delayMs = 0;
  ASSERT_TRUE(operations.send()) << emulator.logText();
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#108", "#108", "#164", "#108", "#106", "#107"}));
  EXPECT_EQ(clock.slept, 100u);  // the connect pause only: a delay of 0 adds nothing
  EXPECT_FALSE(page.progressVisible);
  EXPECT_EQ(page.progressUpdates, 14);
  EXPECT_EQ(page.lastProgress, ">>>");  // eleven marks, then from one again
  const Lines mcn = *readAllLines(dir.file("conveyor.mcn"), kPlcFileLimit);
  ASSERT_EQ(mcn.size(), 14u);  // 160 + 10 x 6 bytes

  const Lines in = emulator.framesIn();
  ASSERT_EQ(in.size(), 2 + mcn.size() + 2);
  EXPECT_EQ(in.front(), "\x02LON\x03");
  EXPECT_EQ(in[1], "\x02SQW\x03");
  // The first instruction record, byte for byte: TMR 5, CNT 7 0001, DW #100 DM10 (start).
  EXPECT_EQ(in[2 + 10], "\x02" "10" "00" "10050000000013070001000060056400" "F6" "\x03");
  EXPECT_EQ(in[in.size() - 2], "\x02" "0001FE\x03");
  EXPECT_EQ(in.back(), "\x02LOF\x03");
  std::string stored;
  for (const std::string& line : mcn) stored += line + "\r\n";
  EXPECT_EQ(emulator.storedPlc(), stored);

  host.clearLines();
  PlcTables fresh;
  PlcOperations reader(operationParts(link), page, fresh);
  ASSERT_TRUE(reader.receive()) << emulator.logText();
  EXPECT_EQ(page.lines, (Lines{"TMR 005 #00100", "CNT 007 #00020 0001", "DW #00100 DM0010", "SFT 1000 1015",
                               "ATMU 01 10 0500 0501", "LDA $00FF", "@LDA #TM05", "@SLA #03", "NOP", "END"}))
      << emulator.logText();
  EXPECT_EQ(*readAllLines(dir.file("Mcn.tmp"), kPlcFileLimit), mcn);
  EXPECT_EQ(fresh.presets[7], 20);
  EXPECT_EQ(fresh.timing[0].count2(), 10);
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#108", "#108", "#108", "#176", "#108", "#109", "#107", "#171", "#232"}));
  EXPECT_TRUE(page.lastProgressRight);
  EXPECT_FALSE(page.progressVisible);
}

TEST_F(PlcEmulatorTest, ReceiveInterruptedMidStreamKeepsThePreviousMcnTmp) {
  // A long program at 2400 bit/s streams for seconds; the controller goes
  // away after a few records.
  std::string plc;
  for (int i = 0; i < 60; ++i) plc += std::string(32, i < 10 ? '0' : '1') + "\r\n";
  test::EmulatorOptions options;
  options.plc = plc;
  options.baud = 2400;
  test::Emulator emulator(dir, options);
  PlcOperations operations(operationParts(link), page, tables);
  host.onProcessEvents = [&] {
    if (page.progressUpdates == 4) emulator.stop();
  };

  dir.write("Mcn.tmp", "the last complete receive\r\n");
  page.lines = {"unsaved"};
  EXPECT_FALSE(operations.receive());
  EXPECT_TRUE(page.lines.empty());
  EXPECT_GE(page.received.size(), 4u);
  EXPECT_LT(page.received.size(), 60u);
  EXPECT_EQ(dir.read("Mcn.tmp"), "the last complete receive\r\n");
  EXPECT_FALSE(page.progressVisible);
  EXPECT_FALSE(link.portOpen());
  EXPECT_FALSE(host.hasLine(kPlcPage, "#171"));
}

}  // namespace
}  // namespace qxr
