// Program files of either kind: what a plain NC program from a CAM system
// gives (lines, number, name, what was dropped) or why it is refused, that
// the numbered format reads as it always did, and the plain text export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nc/programcompare.h"
#include "nc/programtext.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
constexpr int kBig5 = 0;
constexpr int kEnglish = 1;

std::string blocks(std::size_t count) {
  std::string text = "O0001\n";
  for (std::size_t i = 0; i < count; ++i) text += "G01 X" + std::to_string(i) + "\n";
  return text;
}

TEST(ProgramText, PlainProgramsGiveLinesNumberNameAndWhatWasDropped) {
  struct Row {
    const char* what;
    std::string bytes;
    Lines lines;
    int number;
    std::string name;
    std::size_t tapeMarks, nWords;
    std::vector<std::size_t> fileLines;
    bool withName = true;
    GivenProgramHeader given = {};
  };
  const Row rows[] = {
      {"LF, tape marks, O-word with name, N-words", "%\nO0010 (POCKET)\nN10 G90 G54\nN20 G00 X0\nN30 M30\n%\n",
       {"G90 G54", "G00 X0", "M30"}, 10, "POCKET", 2, 3, {3, 4, 5}},
      {"CR LF", "%\r\nO0010 (POCKET)\r\nN10 G90 G54\r\nN20 M30\r\n%\r\n", {"G90 G54", "M30"}, 10, "POCKET", 2, 2, {3, 4}},
      {"CR alone", "%\rO0010 (POCKET)\rG90 G54\rM30\r%\r", {"G90 G54", "M30"}, 10, "POCKET", 2, 0, {3, 4}},
      {"mixed line ends", "O12\r\nG0\rG1\nM30", {"G0", "G1", "M30"}, 12, "", 0, 0, {2, 3, 4}},
      {"tabs: around a block dropped, inside kept", "O7\t(PART)\n\tN5\tG01\tX5  \nG00 X0\t\n", {"G01\tX5", "G00 X0"}, 7,
       "PART", 0, 1, {2, 3}},
      {"N-word without a blank, alone, lower case", "O0003\nN10G90\nN20\nn30 M30\n", {"G90", "", "M30"}, 3, "", 0, 3,
       {2, 3, 4}},
      {"comment lines are kept; the name is the first that fits", "O0012 (A NAME FAR TOO LONG)\n(pocket 1)\n(LATER)\nG0\n",
       {"(pocket 1)", "(LATER)", "G0"}, 12, "POCKET 1", 0, 0, {2, 3, 4}},
      {"a comment after the first block is no name", "O0012\nG0 X0\n(LATE)\n", {"G0 X0", "(LATE)"}, 12, "", 0, 0, {2, 3}},
      {"N-word before a comment", "O0012\nN1 (ROUGH)\nN2 G0\n", {"(ROUGH)", "G0"}, 12, "ROUGH", 0, 2, {2, 3}},
      {"Big5 name and text", "O0020 (\xA4\xA4\xA4\xE5)\nG0 (\xA4\xA4)\n", {"G0 (\xA4\xA4)"}, 20, "\xA4\xA4\xA4\xE5", 0, 0,
       {2}},
      {"empty lines: inside kept, at the ends dropped", "\n\n%\nO0003\nG0\n\n\nG1\n\n\n%\n\n", {"G0", "", "", "G1"}, 3, "",
       2, 0, {5, 6, 7, 8}},
      {"lines after the closing tape mark are left out", "%\nO0005\nG0\n%\nM30\n", {"G0"}, 5, "", 2, 0, {3}},
      {"a DOS end-of-file mark", "O0005\r\nG0\r\n\x1A", {"G0"}, 5, "", 0, 0, {2}},
      {"a byte order mark", "\xEF\xBB\xBF%\nO0005\nG0\n%\n", {"G0"}, 5, "", 2, 0, {3}},
      {"no name for the X00/X01 generation", "O0010 (POCKET)\nG0\n", {"G0"}, 10, "", 0, 0, {2}, false},
      {"an O-word with other words is a block", "O0010 G90\nG0\n", {"O0010 G90", "G0"}, 4, "", 0, 0, {1, 2}, true,
       {4, {}}},
      {"a given number and name replace the file's", "O0010 (POCKET)\nG0\n", {"G0"}, 33, "MINE", 0, 0, {2}, true,
       {33, std::string("mine")}},
      {"no O-word, number given", "G0\nM30\n", {"G0", "M30"}, 99, "", 0, 0, {1, 2}, true, {99, {}}},
      {"O1000 out of range, number given", "%\nO1000 (POCKET)\nG0\n%\n", {"G0"}, 9, "POCKET", 2, 0, {3}, true, {9, {}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ProgramText text = parseProgramText(row.bytes, row.withName, kBig5, row.given);
    ASSERT_TRUE(text.plain());
    ASSERT_EQ(text.refusal, PlainRefusal::kNone) << programTextRefusal(kEnglish, text);
    EXPECT_EQ(text.file.status, ProgramFileStatus::kRead);
    EXPECT_EQ(text.file.lines, row.lines);
    EXPECT_EQ(text.file.number, row.number);
    EXPECT_EQ(text.file.name, row.name);
    EXPECT_EQ(text.tapeMarks, row.tapeMarks);
    EXPECT_EQ(text.nWords, row.nWords);
    EXPECT_EQ(text.fileLines, row.fileLines);
  }
}

TEST(ProgramText, PlainProgramsThatCannotBeTakenNameTheFileLine) {
  const std::string nul(1, '\0');
  struct Row {
    const char* what;
    std::string bytes;
    PlainRefusal refusal;
    std::string said;  // English
    int language = kBig5;
  };
  const Row rows[] = {
      {"no O-word", "%\nG0 X0\nM30\n%\n", PlainRefusal::kNoNumber,
       "The plain NC program has no O-word with a program number from 1 to 99: give it a number"},
      {"O-word out of range", "%\nO1000 (POCKET)\nG0\n", PlainRefusal::kNoNumber, "(O1000 is outside that range)"},
      {"O0", "O0\nG0\n", PlainRefusal::kNoNumber, "(O0 is outside that range)"},
      {"O100", "O100\nG0\n", PlainRefusal::kNoNumber, "(O100 is outside that range)"},
      {"a control byte, counted in the file's lines", "%\nO0010\n\nG01" + nul + "X5\n", PlainRefusal::kLine,
       "File line 4 holds the control byte 0x00 at column 4, which the controller would misread: the file was not read"},
      {"ESC after a dropped N-word", "O0010\r\nN10 G0\r\nN20 X\x1B\r\n", PlainRefusal::kLine,
       "File line 3 holds the control byte 0x1B at column 2"},
      {"a line too long for the controller", "O0010\nG0\n" + std::string(260, 'X') + "\n", PlainRefusal::kLine,
       "File line 3 is too long for the controller"},
      {"more than 6000 lines", blocks(6001), PlainRefusal::kTooManyLines,
       "The plain NC program has 6001 lines; the controller takes at most 6000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ProgramText text = parseProgramText(row.bytes, true, row.language);
    ASSERT_TRUE(text.plain());
    EXPECT_EQ(text.refusal, row.refusal);
    EXPECT_NE(text.file.status, ProgramFileStatus::kRead);
    EXPECT_NE(programTextRefusal(kEnglish, text).find(row.said), std::string::npos) << programTextRefusal(kEnglish, text);
    EXPECT_FALSE(programTextRefusal(kBig5, text).empty());
  }
  // The bound itself is a program.
  EXPECT_FALSE(parseProgramText(blocks(6000), true, kBig5).refused());
  // Bytes that are no Big5 pair go through as they came, as from a numbered file.
  for (int language : {kBig5, kEnglish}) EXPECT_FALSE(parseProgramText("O0010\nG1 (\xFF)\n", true, language).refused());
}

TEST(ProgramText, TheNumberedFormatReadsAsItAlwaysDid) {
  struct Row {
    std::string bytes;
    bool withName;
    ProgramFileStatus status;
    int number;
    std::string name;
    Lines lines;
  };
  const Row rows[] = {
      {"7\r\nPART1\r\nN1 G00 X0\r\nN3 M30\r\n", true, ProgramFileStatus::kRead, 7, "PART1", {"G00 X0", "", "M30"}},
      {"7\nN1 G00\n", false, ProgramFileStatus::kRead, 7, "", {"G00"}},
      {" 12abc\r\nNAME\r\n", true, ProgramFileStatus::kRead, 12, "NAME", {}},
      {"+5\r\n\r\nN1 %\r\n", true, ProgramFileStatus::kRead, 5, "", {"%"}},
      {"0\r\nX\r\n", true, ProgramFileStatus::kBadNumber, 0, "", {}},
      {"100\r\n", true, ProgramFileStatus::kBadNumber, 100, "", {}},
      {"7\r\nNINECHARS\r\n", true, ProgramFileStatus::kNameTooLong, 7, "", {}},
      {"", true, ProgramFileStatus::kNoNumberLine, 0, "", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    const ProgramText text = parseProgramText(row.bytes, row.withName, kBig5);
    EXPECT_FALSE(text.plain());
    const ProgramFile file = parseProgramFile(row.bytes, row.withName);
    EXPECT_EQ(text.file.status, file.status);
    EXPECT_EQ(text.file.status, row.status);
    EXPECT_EQ(text.file.number, row.number);
    EXPECT_EQ(text.file.name, row.name);
    EXPECT_EQ(text.file.lines, row.lines);
    EXPECT_TRUE(programTextSummary(kEnglish, text).empty());
  }
}

TEST(ProgramText, TheSummarySaysWhatWasTakenAndDropped) {
  struct Row {
    std::string bytes;
    GivenProgramHeader given;
    std::string said;
  };
  const Row rows[] = {
      {"%\nO0010 (POCKET)\nN1 G0\nN2 G1\nN3 M30\n%\n%\n", {},
       "Plain NC program: number 10 from O0010, name POCKET, 3 tape marks and 3 N-words dropped"},
      {"G0\n", {4, {}}, "Plain NC program: number 4 as given, no name, 0 tape marks and 0 N-words dropped"},
      {"O1\nG0\n%\nX\nY\n", {0, std::string("B")},
       "number 1 from O1, name B as given, 1 tape marks and 0 N-words dropped, 2 lines after the closing tape mark "
       "left out"},
  };
  for (const Row& row : rows) {
    const std::string said = programTextSummary(kEnglish, parseProgramText(row.bytes, true, kEnglish, row.given));
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
  }
  EXPECT_NE(programTextSummary(kBig5, parseProgramText("O0010 (P)\nG0\n", true, kBig5)).find("一般 NC 程式"),
            std::string::npos);
}

TEST(ProgramText, ExportReadsBackAsTheSameProgram) {
  struct Row {
    int number;
    std::string name;
    Lines lines;
    std::string expectedName;  // a name with a parenthesis is left out
  };
  const Row rows[] = {
      {10, "POCKET", {"G90 G54", "", "G00 X0 (FAST)", "M30"}, "POCKET"},
      {1, "", {"G0"}, ""},
      {99, "A(B", {"N5 G0", "%"}, ""},
      {20, "\xA4\xA4", {"G0 (\xA4\xA4)"}, "\xA4\xA4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text = plainProgramText(row.number, row.name, row.lines);
    EXPECT_EQ(text.substr(0, 3), "%\r\n");
    const ProgramText back = parseProgramText(text, true, kBig5);
    ASSERT_TRUE(back.plain());
    ASSERT_FALSE(back.refused());
    EXPECT_EQ(back.file.number, row.number);
    EXPECT_EQ(back.file.name, row.expectedName);
    // A line that looks like an N-word or a tape mark is no longer one of the program's.
    if (row.lines.front() != "N5 G0") {
      EXPECT_EQ(back.file.lines, row.lines);
    }
  }
}

TEST(ProgramCompare, AlignsAndDiffsLinesAsTheControllerHoldsThem) {
  struct Row {
    Lines first, second;
    std::optional<std::size_t> firstDifference;
    std::string diff;
  };
  const Row rows[] = {
      {{"G0", "G1", "M30"}, {"G0", "G1", "M30"}, std::nullopt, ""},
      {{"G0", "G01 X10", "M30"}, {"G0", "G01 X11", "M30"}, 1,
       "--- c\n+++ f\n@@ -1,3 +1,3 @@\n G0\n-G01 X10\n+G01 X11\n M30\n"},
      {{"A", "B"}, {"A", "B", "C"}, 2, "--- c\n+++ f\n@@ -1,2 +1,3 @@\n A\n B\n+C\n"},
      {{"A", "B", "C"}, {"B", "C"}, 0, "--- c\n+++ f\n@@ -1,3 +1,2 @@\n-A\n B\n C\n"},
      {{}, {"A"}, 0, "--- c\n+++ f\n@@ -0,0 +1,1 @@\n+A\n"},
      {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"},
       {"1", "X", "3", "4", "5", "6", "7", "8", "9", "10", "Y", "12"}, 1,
       "--- c\n+++ f\n@@ -1,5 +1,5 @@\n 1\n-2\n+X\n 3\n 4\n 5\n@@ -8,5 +8,5 @@\n 8\n 9\n 10\n-11\n+Y\n 12\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(firstDifferentLine(row.first, row.second), row.firstDifference);
    EXPECT_EQ(unifiedDiff(row.first, row.second, "c", "f"), row.diff);
    // Every line of both sides appears once, in order.
    long a = 0, b = 0;
    for (const AlignedRow& aligned : alignLines(row.first, row.second)) {
      if (aligned.first >= 0) {
        EXPECT_EQ(aligned.first, a++);
      }
      if (aligned.second >= 0) {
        EXPECT_EQ(aligned.second, b++);
      }
      if (aligned.equal()) {
        EXPECT_EQ(row.first[std::size_t(aligned.first)], row.second[std::size_t(aligned.second)]);
      }
    }
    EXPECT_EQ(a, long(row.first.size()));
    EXPECT_EQ(b, long(row.second.size()));
  }
}

}  // namespace
}  // namespace qxr
