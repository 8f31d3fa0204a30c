#include <gtest/gtest.h>

#include "nc/multiple.h"
#include "nc/ncfile.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
using test::TempDir;

ProgramFile roundTrip(const TempDir& dir, const Lines& editor, bool withName) {
  EXPECT_TRUE(writeProgramFile(dir.file("p.nc"), 7, "PART1", withName, editor));
  return readProgramFile(dir.file("p.nc"), withName);
}

TEST(ProgramFileFormat, WritesNumberNameAndNumberedNonEmptyLines) {
  TempDir dir;
  ASSERT_TRUE(writeProgramFile(dir.file("a.nc"), 7, "PART1", true, {"G00 X0", "", "M30"}));
  EXPECT_EQ(dir.read("a.nc"), "7\r\nPART1\r\nN1 G00 X0\r\nN3 M30\r\n");
  ASSERT_TRUE(writeProgramFile(dir.file("b.nc"), 12, "", true, {}));
  EXPECT_EQ(dir.read("b.nc"), "12\r\n\r\n");
  // "QXR X00/X01" files have no name line.
  ASSERT_TRUE(writeProgramFile(dir.file("c.nc"), 3, "IGNORED", false, {"", "G01 X5"}));
  EXPECT_EQ(dir.read("c.nc"), "3\r\nN2 G01 X5\r\n");
  // A directory that does not exist cannot take the file.
  EXPECT_FALSE(writeProgramFile(dir.file("none/d.nc"), 1, "", true, {"X"}));
}

TEST(ProgramFileFormat, RoundTripKeepsInnerAndLeadingEmptyLinesButNotTrailingOnes) {
  TempDir dir;
  for (bool withName : {true, false}) {
    SCOPED_TRACE(withName);
    ProgramFile file = roundTrip(dir, {"G00 X0", "", "M30"}, withName);
    ASSERT_EQ(file.status, ProgramFileStatus::kRead);
    EXPECT_EQ(file.number, 7);
    EXPECT_EQ(file.name, withName ? "PART1" : "");
    EXPECT_EQ(file.lines, (Lines{"G00 X0", "", "M30"}));
    EXPECT_EQ(roundTrip(dir, {"G00 X0", "", ""}, withName).lines, (Lines{"G00 X0"}));
    EXPECT_EQ(roundTrip(dir, {"", "G01 X5"}, withName).lines, (Lines{"", "G01 X5"}));
    // Blanks inside and at the end of a line are text and stay.
    EXPECT_EQ(roundTrip(dir, {"G01  X5 Y6 "}, withName).lines, (Lines{"G01  X5 Y6 "}));
  }
}

TEST(ProgramFileFormat, LongLinesAreWrittenAndReadWhole) {
  TempDir dir;
  // The longest line the controller takes on line 1 ("N1 " + text + CR LF + NUL).
  const std::string longLine = "G01 " + std::string(246, 'X');
  ProgramFile file = roundTrip(dir, {longLine, "M30"}, true);
  EXPECT_EQ(file.lines, (Lines{longLine, "M30"}));
  // One byte more is beyond what a program may hold: the file is refused.
  file = roundTrip(dir, {longLine + "X", "M30"}, true);
  ASSERT_EQ(file.status, ProgramFileStatus::kRefused);
  EXPECT_EQ(file.problem->kind, LineProblem::kTooLong);
  // A number line and a name line longer than the old read limits are still
  // one line each.
  dir.write("long.nc", "5" + std::string(100, ' ') + "\r\nAB\r\nN1 X1\r\n");
  file = readProgramFile(dir.file("long.nc"), true);
  ASSERT_EQ(file.status, ProgramFileStatus::kRead);
  EXPECT_EQ(file.number, 5);
  EXPECT_EQ(file.lines, (Lines{"X1"}));
}

TEST(ProgramFileReading, FillsGapsAndTakesWhatFollowsTheFirstBlank) {
  // N5 as the first line lands on editor line 5.
  ProgramFile file = parseProgramFile("1\r\nN\r\nN5 G01 X10 Y20\r\n", true);
  EXPECT_EQ(file.lines, (Lines{"", "", "", "", "G01 X10 Y20"}));
  // Without a line number the first character is skipped and the rest up to
  // the blank is the number: "G01 X10" is line 1 with the text X10.
  file = parseProgramFile("1\nG01 X10\n", false);
  EXPECT_EQ(file.lines, (Lines{"X10"}));
  // A line without a blank is skipped; a number that does not go forward
  // puts its text right after the last line.
  file = parseProgramFile("1\n%\nN3 A\nN2 B\nN2 C\nN4 D\n", false);
  EXPECT_EQ(file.lines, (Lines{"", "", "A", "B", "C", "", "D"}));
  // Bare LF and CR LF both end lines; a CR closing the last line is no text.
  file = parseProgramFile("9\r\nNM\nN1 X\r\nN2 Y\r", true);
  EXPECT_EQ(file.name, "NM");
  EXPECT_EQ(file.lines, (Lines{"X", "Y"}));
}

TEST(ProgramFileReading, LinesWithoutTheirBlankAndTheBoundOfAProgram) {
  std::string sixThousand = "1\n", oneMore = "1\n";
  for (int i = 1; i <= 6000; ++i) sixThousand += "N" + std::to_string(i) + " X\n";
  oneMore = sixThousand + "N6001 X\n";
  const struct {
    std::string bytes;
    bool withName;
    ProgramFileStatus status;
    LineProblem::Kind problem;
    std::size_t line;  // of the problem, 0-based (file lines for kNoBlank)
  } rows[] = {
      // A numbered line that lost its blank would leave an empty line in its
      // place: refused at its line of the file.
      {"7\nPART\nN1 G00\nN2G01X5Y5\nN3 M30\n", true, ProgramFileStatus::kRefused, LineProblem::kNoBlank, 3},
      {"7\nN1 G00\nG01X5Y5\n", false, ProgramFileStatus::kRefused, LineProblem::kNoBlank, 2},
      {"7\nPART\nN1 G00\nN2\tG01\n", true, ProgramFileStatus::kRefused, LineProblem::kNoBlank, 3},
      // Passed over: empty lines, the tape mark, and an X02 name line read
      // without a name.
      {"7\nPART\n%\nN1 G00\n\n \r\nN2 M30\n%\n", true, ProgramFileStatus::kRead, {}, 0},
      {"7\nPART1\nN1 G00\n", false, ProgramFileStatus::kRead, {}, 0},
      {"7\nPARTNAME9\nN1 G00\n", false, ProgramFileStatus::kRefused, LineProblem::kNoBlank, 1},
      // 6000 lines are a program; one more, or a line the controller cannot
      // take, is not.
      {sixThousand, false, ProgramFileStatus::kRead, {}, 0},
      {oneMore, false, ProgramFileStatus::kRefused, LineProblem::kTooManyLines, 6000},
      {"1\nN6001 X\n", false, ProgramFileStatus::kRefused, LineProblem::kTooManyLines, 6000},
      {"1\nN1 A\nN2 " + std::string(251, 'X') + "\n", false, ProgramFileStatus::kRefused, LineProblem::kTooLong, 1},
  };
  int index = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(index++);
    const ProgramFile file = parseProgramFile(row.bytes, row.withName);
    ASSERT_EQ(file.status, row.status);
    if (row.status != ProgramFileStatus::kRefused) continue;
    ASSERT_TRUE(file.problem);
    EXPECT_EQ(file.problem->kind, row.problem);
    EXPECT_EQ(file.problem->line, row.line);
    EXPECT_TRUE(file.lines.empty());
  }
}

TEST(ProgramFileReading, AHugeLineNumberIsNotFilled) {
  ProgramFile file = parseProgramFile("1\nN1 A\nN2000000000 B\nN2000000001 C\n", false);
  ASSERT_EQ(file.status, ProgramFileStatus::kRead);
  EXPECT_EQ(file.lines, (Lines{"A", "B", "C"}));
  EXPECT_EQ(file.unfilledCount, 1u);
  EXPECT_EQ(file.firstUnfilledFileLine, 3u);
  // A large but bounded gap is filled.
  file = parseProgramFile("1\nN1000 A\n", false);
  EXPECT_EQ(file.lines.size(), 1000u);
  EXPECT_EQ(file.unfilledCount, 0u);
}

TEST(ProgramFileReading, NumberAndNameLimits) {
  EXPECT_EQ(parseProgramFile("0\nN\n", true).status, ProgramFileStatus::kBadNumber);
  EXPECT_EQ(parseProgramFile("100\nN\n", true).status, ProgramFileStatus::kBadNumber);
  EXPECT_EQ(parseProgramFile("-5\nN\n", true).status, ProgramFileStatus::kBadNumber);
  EXPECT_EQ(parseProgramFile("abc\n", true).status, ProgramFileStatus::kBadNumber);
  ProgramFile file = parseProgramFile(" 12ab\nNAME\n", true);
  EXPECT_EQ(file.status, ProgramFileStatus::kRead);
  EXPECT_EQ(file.number, 12);
  EXPECT_EQ(parseProgramFile("99\n", false).status, ProgramFileStatus::kRead);

  file = parseProgramFile("1\r\n12345678\r\n", true);
  EXPECT_EQ(file.status, ProgramFileStatus::kRead);
  EXPECT_EQ(file.name, "12345678");
  file = parseProgramFile("4\r\n123456789\r\nN1 X\r\n", true);
  EXPECT_EQ(file.status, ProgramFileStatus::kNameTooLong);
  EXPECT_EQ(file.number, 4);  // the number was taken before the name was refused
  EXPECT_TRUE(file.lines.empty());

  EXPECT_EQ(parseProgramFile("", true).status, ProgramFileStatus::kNoNumberLine);
  file = parseProgramFile("8\r\n", true);
  EXPECT_EQ(file.status, ProgramFileStatus::kNoNameLine);
  EXPECT_EQ(file.number, 8);
  file = parseProgramFile("8\r\n", false);
  EXPECT_EQ(file.status, ProgramFileStatus::kRead);
  EXPECT_TRUE(file.lines.empty());
}

TEST(ProgramFileReading, GenerationMismatch) {
  // An X02 file read for X00/X01: the name line has no blank and is skipped.
  EXPECT_EQ(parseProgramFile("7\nPART1\nN1 G00\n", false).lines, (Lines{"G00"}));
  // An X00/X01 file read for X02: the first program line is taken as the
  // name, and refused when longer than 8.
  ProgramFile file = parseProgramFile("7\nN1 G0\nN2 M30\n", true);
  EXPECT_EQ(file.name, "N1 G0");
  EXPECT_EQ(file.lines, (Lines{"", "M30"}));
  EXPECT_EQ(parseProgramFile("7\nN1 G00 X0\n", true).status, ProgramFileStatus::kNameTooLong);
}

TEST(ProgramFileReading, MissingFileAndDirectory) {
  TempDir dir;
  EXPECT_EQ(readProgramFile(dir.file("absent.nc"), true).status, ProgramFileStatus::kCannotOpen);
  EXPECT_EQ(readProgramFile(dir.dir(), true).status, ProgramFileStatus::kCannotOpen);
}

TEST(BatchNames, FileNamesAndCaptions) {
  EXPECT_EQ(batchFileName("AB", 3), "ABL03.NC");
  EXPECT_EQ(batchFileName("AB", 61), "ABG61.NC");
  EXPECT_EQ(batchFileName("", 59), "L59.NC");
  EXPECT_EQ(batchFileName("", 60), "G60.NC");
  EXPECT_EQ(batchProgramCaption(1), "L01");
  EXPECT_EQ(batchProgramCaption(68), "G68");
}

TEST(BatchNames, SixtyEightFilesAtMost) {
  std::vector<std::pair<std::string, bool>> entries;
  for (int i = 0; i < 70; ++i) entries.emplace_back("F" + std::to_string(i), i % 70 < 68);
  bool tooMany = true;
  EXPECT_EQ(batchFiles(entries, &tooMany).size(), 68u);
  EXPECT_FALSE(tooMany);
  entries[68].second = true;  // a 69th checked name: nothing is transferred
  EXPECT_TRUE(batchFiles(entries, &tooMany).empty());
  EXPECT_TRUE(tooMany);
  // Order is the list's; unchecked names are left out.
  EXPECT_EQ(batchFiles({{"B", true}, {"A", false}, {"C", true}}), (Lines{"B", "C"}));
}

TEST(ProgramSelection, StartSelectAllAndRangeSwitches) {
  ProgramSelection selection;
  int enabled = 0;
  for (int i = 0; i < kBatchProgramCount; ++i) enabled += selection.enabled(i);
  EXPECT_EQ(enabled, 19);  // L01-L16, G60-G62
  selection.selectAll();
  EXPECT_EQ(selection.checkedCount(), 19);
  EXPECT_TRUE(selection.checked(59) && selection.checked(61) && !selection.checked(62));

  // A greyed box cannot be checked.
  selection.setChecked(20, true);
  EXPECT_FALSE(selection.checked(20));

  EXPECT_TRUE(selection.clickRange(ProgramSelection::kL17to32, true));
  EXPECT_TRUE(selection.enabled(16) && selection.enabled(31) && !selection.enabled(32));
  EXPECT_FALSE(selection.checked(16));  // enabled cleared
  selection.selectAll();
  EXPECT_EQ(selection.checkedCount(), 35);

  // L17-L59 excludes L17-L32: the click is undone, nothing else changes.
  EXPECT_FALSE(selection.clickRange(ProgramSelection::kL17to59, true));
  EXPECT_FALSE(selection.rangeChecked(ProgramSelection::kL17to59));
  EXPECT_TRUE(selection.checked(16) && selection.checked(31));
  EXPECT_FALSE(selection.enabled(32));

  // Clearing a switch greys and clears its boxes.
  EXPECT_FALSE(selection.clickRange(ProgramSelection::kL17to32, false));
  EXPECT_FALSE(selection.enabled(16));
  EXPECT_FALSE(selection.checked(16));
  EXPECT_EQ(selection.checkedCount(), 19);

  EXPECT_TRUE(selection.clickRange(ProgramSelection::kL17to59, true));
  EXPECT_TRUE(selection.clickRange(ProgramSelection::kG63to68, true));
  selection.selectAll();
  EXPECT_EQ(selection.checkedCount(), kBatchProgramCount);
  selection.clearAll();
  EXPECT_EQ(selection.checkedCount(), 0);
}

}  // namespace
}  // namespace qxr
