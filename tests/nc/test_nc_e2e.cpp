// The program operations end to end against the controller emulator on a
// pseudo-terminal: what goes over the wire (its log), what the controller
// holds afterwards, and what comes back.
#include <gtest/gtest.h>

#include "base/controltexts.h"

#include "link/comm.h"
#include "link/link.h"
#include "nc/ncops.h"
#include "nc/nctexts.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/linkrig.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
const std::string kNak = "\x15\x07\x07\r\n";
const std::string kAck = "\x06\x07\x01\r\n";
const std::string kPart1 = "7\r\nPART1\r\nN1 G00 X0\r\nN2 M30\r\n";

std::string shown(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The PC side: a real port and link, pauses that cost nothing.
struct Pc : test::LinkRig {
  explicit Pc(int gen = kGenerationX02) : ops(operationParts(link), page) {
    session.settings.timeoutMs = 200;  // keeps the silent cases short
    page.gen = gen;
  }
  const Lines& messages() const { return lines(); }

  MemoryNcPage page;
  NcOperations ops;
};

TEST(NcEndToEnd, SendsTheExampleFrameByFrameAndReceivesItBack) {
  Pc pc;
  test::Emulator emulator(pc.dir);
  pc.page.lines = {"G00 X0", "M30"};
  pc.page.number = 7;
  pc.page.name = "PART1";
  ASSERT_TRUE(pc.ops.send());
  EXPECT_EQ(emulator.framesIn(), (Lines{"$%\r\n", "$L\r\n", "07\r\n", "$%\r\n", "$S\r\n", "07\r\n", "PART1   \r\n",
                                        "N1 G00 X0\r\n", "N2 M30\r\n"}));
  EXPECT_EQ(emulator.repliesOut()[2], kNak);
  EXPECT_EQ(pc.messages(), (Lines{"#101COM2", "#108", "#107", "#101COM2", "#105", "N1 G00 X0", "N2 M30", "#106",
                                  "#107"}));
  EXPECT_EQ(emulator.storedProgram(7), kPart1);
  EXPECT_FALSE(pc.port.Enabled());
  // The progress shown beside the messages ends cleared.
  EXPECT_GT(pc.page.progressUpdates, 1);
  EXPECT_EQ(pc.page.lastProgress, "");

  MemoryNcPage back;
  back.number = 7;
  NcOperations receiver(operationParts(pc.link), back);
  ASSERT_TRUE(receiver.receive());
  EXPECT_EQ(back.name, "PART1");
  EXPECT_EQ(back.lines, pc.page.lines);
  ASSERT_TRUE(receiver.writeFile(pc.dir.file("back.nc")));
  EXPECT_EQ(pc.dir.read("back.nc"), kPart1);
}

TEST(NcEndToEnd, ExistingProgramOverwriteAnsweredBothWays) {
  for (bool overwrite : {true, false}) {
    SCOPED_TRACE(overwrite);
    Pc pc;
    test::EmulatorOptions options;
    options.programs[99] = "99\r\nOLDNAME\r\nN1 OLD\r\n";
    test::Emulator emulator(pc.dir, options);
    pc.host.answers = {true, overwrite};
    pc.page.lines = {"", "G01 X5"};  // empty lines go out too
    pc.page.number = 99;
    pc.page.name = "AB";
    ASSERT_TRUE(pc.ops.send());
    EXPECT_EQ(pc.ops.controllerName(), "OLDNAME");
    EXPECT_EQ(pc.host.questions.at(1), "#130\n\n#14:99\n#15:OLDNAME");
    Lines frames = {"$%\r\n", "$L\r\n", "99\r\n", kAck};
    if (overwrite) frames.insert(frames.end(), {"$%\r\n", "$K\r\n", "99\r\n", "OLDNAME \r\n"});
    frames.insert(frames.end(), {"$%\r\n", "$S\r\n", "99\r\n", "AB      \r\n", "N1 \r\n", "N2 G01 X5\r\n"});
    EXPECT_EQ(emulator.framesIn(), frames);
    EXPECT_EQ(pc.host.hasLine(kProgramPage, "#128"), overwrite);
    EXPECT_EQ(emulator.storedProgram(99), "99\r\nAB\r\nN1 \r\nN2 G01 X5\r\n");
  }
}

TEST(NcEndToEnd, ReceiveWithBothGenerations) {
  {  // X00/X01 controller: no name, and the name field is emptied.
    Pc pc(kGenerationX00);
    test::EmulatorOptions options;
    options.model = 101;
    options.programs[3] = "3\r\nN1 G01 X5 Y6\r\nN2 \r\nN3 M30\r\n";
    test::Emulator emulator(pc.dir, options);
    pc.page.number = 3;
    pc.page.name = "STALE";
    ASSERT_TRUE(pc.ops.receive());
    EXPECT_EQ(pc.page.name, "");
    EXPECT_EQ(pc.page.lines, (Lines{"G01 X5 Y6", "", "M30"}));
    EXPECT_EQ(pc.host.questions, (Lines{"#124\n\n#14:03"}));
    // One acknowledgement after the number and one after every reply.
    const Lines in = emulator.framesInAfter(8);
    EXPECT_EQ(std::count(in.begin(), in.end(), kAck), 5);
  }
  {  // A named program read with X00/X01 chosen: the name arrives as a line
     // without a blank and is kept whole.
    Pc pc(kGenerationX00);
    test::EmulatorOptions options;
    options.programs[7] = kPart1;
    test::Emulator emulator(pc.dir, options);
    pc.page.number = 7;
    ASSERT_TRUE(pc.ops.receive());
    EXPECT_EQ(pc.page.lines, (Lines{"PART1", "G00 X0", "M30"}));
  }
}

TEST(NcEndToEnd, DeleteAndItsCancel) {
  Pc pc;
  test::EmulatorOptions options;
  options.programs[5] = "5\r\nPROG5\r\nN1 X\r\n";
  test::Emulator emulator(pc.dir, options);
  pc.page.number = 5;
  pc.host.answers = {false};
  EXPECT_FALSE(pc.ops.deleteProgram());
  EXPECT_EQ(pc.page.name, "PROG5");
  EXPECT_EQ(pc.messages().back(), "#126");
  EXPECT_TRUE(emulator.storedProgram(5));

  pc.page.name = "TYPED";  // replaced by the controller's name again
  ASSERT_TRUE(pc.ops.deleteProgram());
  EXPECT_EQ(emulator.framesIn().back(), "PROG5   \r\n");
  EXPECT_EQ(Lines(pc.messages().end() - 3, pc.messages().end()), (Lines{"#127", "#128", "#107"}));
  EXPECT_FALSE(emulator.storedProgram(5));

  // Now absent: refused, no question.
  const std::size_t questions = pc.host.questions.size();
  EXPECT_FALSE(pc.ops.deleteProgram());
  EXPECT_EQ(pc.host.questions.size(), questions);
  EXPECT_EQ(Lines(pc.messages().end() - 2, pc.messages().end()), (Lines{"#122", "#107"}));
}

TEST(NcEndToEnd, RefusedNumberAndAControllerThatFallsSilent) {
  Pc pc;
  test::EmulatorOptions options;
  options.programs[4] = "4\r\nFOUR\r\nN1 A\r\nN2 B\r\nN3 C\r\nN4 D\r\n";
  options.silentAfter = 9;  // the refusal's three frames, then $% $L 04 and ACKs for name, A, B
  test::Emulator emulator(pc.dir, options);
  pc.page.lines = {"mine"};
  pc.page.number = 8;
  EXPECT_FALSE(pc.ops.receive());  // absent
  EXPECT_EQ(Lines(pc.messages().end() - 2, pc.messages().end()), (Lines{"#122", "#107"}));
  EXPECT_EQ(pc.page.lines, (Lines{"mine"}));

  // Silent after two lines: the page is put back as it was, so that the part
  // that arrived never passes for the program.
  pc.host.clearLines();
  pc.page.number = 4;
  pc.page.name = "MINE";
  EXPECT_FALSE(pc.ops.receive());
  EXPECT_EQ(pc.page.name, "MINE");
  EXPECT_EQ(pc.page.lines, (Lines{"mine"}));
  EXPECT_EQ(pc.messages(), (Lines{"#101COM2", "#108", "#103", "#107"}));
  EXPECT_FALSE(pc.port.Enabled());
}

TEST(NcEndToEnd, SendEndsWhenTheControllerFallsSilentInTheLines) {
  Pc pc;
  test::EmulatorOptions options;
  options.silentAfter = 8;  // $% $L 07 $% $S 07 name N1: N2 unanswered
  test::Emulator emulator(pc.dir, options);
  pc.page.lines = {"G00 X0", "G01 X1", "M30"};
  pc.page.number = 7;
  pc.host.answers = {true, false};  // send; keep the part on the controller
  EXPECT_FALSE(pc.ops.send());
  EXPECT_EQ(emulator.framesIn().back(), "N2 G01 X1\r\n");
  // N2 went out whole: the controller holds two of the three lines.
  EXPECT_EQ(Lines(pc.messages().end() - 3, pc.messages().end()),
            (Lines{"#103", "#107", controlText(0, ControlText::kPartialProgram, "07", 2, 3)}));
  EXPECT_FALSE(pc.host.hasLine(kProgramPage, "#106"));
}

// A store that ends before its end names what the controller holds: the
// lines written whole, the one whose answer was awaited included, a refused
// one not.
TEST(NcEndToEnd, APartialProgramIsCountedOnEveryFailure) {
  const struct {
    const char* fault;
    long silentAfter;
    std::vector<std::string> refuse;
    long held;
  } rows[] = {
      {"silent at N2", 8, {}, 2},
      {"silent at N3", 9, {}, 3},
      {"N2 refused", -1, {"N2*"}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    Pc pc;
    test::EmulatorOptions options;
    options.silentAfter = row.silentAfter;
    options.refuse = row.refuse;
    test::Emulator emulator(pc.dir, options);
    pc.page.lines = {"G00 X0", "G01 X1", "M30"};
    pc.page.number = 7;
    pc.page.name = "PART1";
    pc.host.answers = {true, false};  // send; keep the part on the controller
    EXPECT_FALSE(pc.ops.send());
    EXPECT_TRUE(pc.host.hasLine(kProgramPage, controlText(0, ControlText::kPartialProgram, "07", row.held, 3)))
        << shown(pc.messages());
    EXPECT_EQ(pc.host.questions.size(), 2u);
  }
}

// A batch read that fails in its second program: the first one's file is
// written, the second one's not, the page shows the first one whole (never a
// part under another program's number and name), and the batch ends with
// its count.
TEST(NcEndToEnd, ReadManyThatFailsLeavesThePageWithTheLastWholeProgram) {
  test::TempDir dir;
  test::EmulatorOptions options;
  options.programs[3] = "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n";
  std::string five = "5\r\nFIVE\r\n";
  for (int i = 1; i <= 10; ++i) five += "N" + std::to_string(i) + " X" + std::to_string(i) + "\r\n";
  options.programs[5] = five;
  options.silentAfter = 14;  // program 3 whole, then a few replies of program 5
  Pc pc;
  test::Emulator emulator(pc.dir, options);
  pc.page.lines = {"mine"};
  MultipleChoice choice;
  choice.programs[2] = choice.programs[4] = choice.programs[6] = true;
  choice.directory = dir.file("out");
  std::filesystem::create_directory(choice.directory);
  // Each program begun is told as it ends: 3 whole, 5 cut off; 7 never begins.
  int begun = 0;
  std::vector<BatchProgramEnd> ends;
  pc.ops.onBatchProgramBegin = [&] { ++begun; };
  pc.ops.onBatchProgramEnd = [&](const BatchProgramEnd& end) { ends.push_back(end); };
  EXPECT_FALSE(pc.ops.readMany(choice));
  ASSERT_EQ(begun, 2);
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].number, 3);
  EXPECT_EQ(ends[0].result, BatchProgramEnd::Result::kFinished);
  EXPECT_EQ(ends[0].lines, (Lines{"G00", "M30"}));
  EXPECT_EQ(ends[0].path, dir.file("out/L03.NC"));
  EXPECT_EQ(ends[1].number, 5);
  EXPECT_EQ(ends[1].result, BatchProgramEnd::Result::kFailed);
  EXPECT_TRUE(ends[1].path.empty());
  EXPECT_EQ(dir.read("out/L03.NC"), "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n");
  EXPECT_FALSE(dir.exists("out/L05.NC"));
  EXPECT_EQ(pc.page.number, 3);
  EXPECT_EQ(pc.page.name, "THREE");
  EXPECT_EQ(pc.page.lines, (Lines{"G00", "M30"}));
  EXPECT_TRUE(pc.host.hasLine(kProgramPage, ncText(0, NcText::kReadManySummary, {}, 1, 0, 2)))
      << shown(pc.messages());
}

TEST(NcEndToEnd, ReadManyIntoFilesAndWriteThemBack) {
  Pc pc;
  test::EmulatorOptions options;
  options.programs[3] = "3\r\nTHREE\r\nN1 G00\r\nN3 M30\r\n";
  options.programs[61] = "61\r\nSIXTYONE\r\nN1 X61\r\n";
  test::Emulator emulator(pc.dir, options);
  MultipleChoice choice;
  choice.programs[2] = choice.programs[60] = true;
  choice.prefix = "AB";
  choice.directory = pc.dir.file("out");
  std::filesystem::create_directory(choice.directory);
  ASSERT_TRUE(pc.ops.readMany(choice));
  // The controller's line numbers are not looked at: lines come in order.
  EXPECT_EQ(pc.dir.read("out/ABL03.NC"), "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n");
  EXPECT_EQ(pc.dir.read("out/ABG61.NC"), "61\r\nSIXTYONE\r\nN1 X61\r\n");
  const Lines in = emulator.framesIn();
  EXPECT_NE(std::find(in.begin(), in.end(), "03\r\n"), in.end());
  EXPECT_NE(std::find(in.begin(), in.end(), "61\r\n"), in.end());
  EXPECT_EQ(pc.page.messageClears, 2);

  // Write them back under their own numbers: 3 is deleted first (the
  // inquire setting off asks nothing), 61 is changed in the file.
  pc.dir.write("out/ABG61.NC", "61\r\nNEW61\r\nN2 X62\r\n");
  emulator.stop();
  options.programs.erase(61);
  test::Emulator second(pc.dir, options);
  choice.files = {"ABL03.NC", "ABG61.NC"};
  ASSERT_TRUE(pc.ops.writeMany(choice, false));
  EXPECT_TRUE(pc.host.questions.empty());
  EXPECT_EQ(second.storedProgram(3), "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n");
  EXPECT_EQ(second.storedProgram(61), "61\r\nNEW61\r\nN1 \r\nN2 X62\r\n");
  const Lines written = second.framesIn();
  EXPECT_EQ(std::count(written.begin(), written.end(), "$K\r\n"), 1);
  EXPECT_EQ(Lines(pc.messages().end() - 2, pc.messages().end()),
            (Lines{"#107", ncText(0, NcText::kWriteManySummary, {}, 2, 0)}));
}

}  // namespace
}  // namespace qxr
