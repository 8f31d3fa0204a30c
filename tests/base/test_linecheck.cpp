// What may go to the controller, by kind of text: one table of lines per
// rule, each row naming the line and the fault the check must find (or none).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/codec.h"
#include "base/linecheck.h"
#include "nc/ncfile.h"
#include "params/paramtransfer.h"
#include "plc/plcops.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
enum Kind { kProgram, kParameters, kPlc, kProgramBound, kProgramText };
constexpr std::size_t kNone = static_cast<std::size_t>(-2);
constexpr std::size_t kName = LineProblem::kNameLine;

std::optional<LineProblem> check(Kind kind, const Lines& lines, const std::string& name) {
  switch (kind) {
    case kProgram: return checkProgramForController(lines, name, !name.empty());
    case kParameters: return checkParameterLines(lines);
    case kPlc: return checkPlcLines(lines);
    case kProgramBound: return checkProgramBound(lines);
    case kProgramText: {
      std::string text;
      for (const std::string& line : lines) text += line + "\r\n";
      return checkProgramTextBound(text);
    }
  }
  return std::nullopt;
}

std::string hexLine(std::size_t digits) { return std::string(digits, 'A'); }

TEST(ControllerLines, EachKindRefusesWhatTheControllerWouldMisread) {
  using P = LineProblem;
  struct Row {
    Kind kind;
    Lines lines;
    std::string name;  // programs: checked when not empty
    std::size_t line;  // kNone: nothing refused
    P::Kind fault;
    std::size_t column;
  };
  const std::string nul(1, '\0');
  const Row rows[] = {
      // Programs: control bytes anywhere, in the name too; TAB and Big5 are text.
      {kProgram, {"G00 X0", "M30"}, "PART1", kNone, {}, 0},
      {kProgram, {"G00\tX0", "(\xB5\x7B\xA6\xA1)"}, "", kNone, {}, 0},
      {kProgram, {"G00 X0", "G01" + nul + "X5"}, "", 1, P::kControlByte, 3},
      {kProgram, {"G00\r", "M30"}, "", 0, P::kControlByte, 3},
      {kProgram, {"G00", "X\x1B"}, "", 1, P::kControlByte, 1},
      {kProgram, {"G00", "X\x7F"}, "", 1, P::kControlByte, 1},
      {kProgram, {"G00"}, "PA\x01T", kName, P::kControlByte, 2},
      // "N2 " + 250 bytes + CR LF + NUL fills the 256-byte buffer exactly.
      {kProgram, {"G00", std::string(250, 'X')}, "", kNone, {}, 0},
      {kProgram, {"G00", std::string(251, 'X')}, "", 1, P::kTooLong, 0},
      // The first fault in line order wins.
      {kProgram, {std::string(300, 'X'), nul}, "", 0, P::kTooLong, 0},
      // Parameters: every line for control bytes, comments too; sent lines
      // for their value and their frame.
      {kParameters, {"/ spindle", "Speed(12)=300", "A(1)=-2147483648", "B(2)=2147483647"}, "", kNone, {}, 0},
      {kParameters, {"/ note\x07", "Speed(12)=300"}, "", 0, P::kControlByte, 6},
      {kParameters, {"Speed(12)=300", "Feed(13)=3" + nul + "00"}, "", 1, P::kControlByte, 10},
      {kParameters, {"Speed(12)=300", "A(13)=99999999999"}, "", 1, P::kValueOutOfRange, 0},
      {kParameters, {"A(13)=2147483648"}, "", 0, P::kValueOutOfRange, 0},
      {kParameters, {"A(13)=-2147483649"}, "", 0, P::kValueOutOfRange, 0},
      {kParameters, {"/A(13)=99999999999"}, "", kNone, {}, 0},  // a comment is not sent
      // "x" is 0; a line of no form refuses the whole text before anything goes.
      {kParameters, {"A(13)=x", "Speed 12"}, "", 1, P::kBadForm, 0},
      {kParameters, {"A(13)=5", "", "B(14)=6"}, "", 1, P::kBadForm, 0},
      // 251 + "=5" + CR LF + NUL fills the buffer exactly.
      {kParameters, {"A(" + std::string(251, '1') + ")=5"}, "", kNone, {}, 0},
      {kParameters, {"A(" + std::string(252, '1') + ")=5"}, "", 0, P::kTooLong, 0},
      {kParameters, {std::string(3000, 'n') + "(1)=5"}, "", kNone, {}, 0},  // the name is not sent
      // PLC: control bytes in source and data; data records fit the buffer.
      {kPlc, {"LD X1", "OUT Y1"}, "", kNone, {}, 0},
      {kPlc, {"LD X1", "OUT" + nul + "Y1"}, "", 1, P::kControlByte, 3},
      {kPlc, {"0A1B", hexLine(247)}, "", kNone, {}, 0},
      {kPlc, {"0A1B", hexLine(248)}, "", 1, P::kTooLong, 0},
      {kPlc, {"0A1B", hexLine(600) + "x"}, "", kNone, {}, 0},  // source text: compiled, not sent as it stands
      // The one bound of a program, as lines and as a paste's bytes: 6000
      // lines, each within the frame (the count wins over a long line).
      {kProgramBound, Lines(6000, "X"), "", kNone, {}, 0},
      {kProgramBound, Lines(6001, "X"), "", 6000, P::kTooManyLines, 0},
      {kProgramBound, {"G00", std::string(250, 'X')}, "", kNone, {}, 0},
      {kProgramBound, {"G00", std::string(251, 'X')}, "", 1, P::kTooLong, 0},
      {kProgramText, Lines(6000, "X"), "", kNone, {}, 0},
      {kProgramText, Lines(6001, ""), "", 6000, P::kTooManyLines, 0},
      {kProgramText, {"G00", std::string(250, 'X')}, "", kNone, {}, 0},
      {kProgramText, {"G00", std::string(251, 'X'), "M30"}, "", 1, P::kTooLong, 0},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index++);
    const std::optional<LineProblem> problem = check(row.kind, row.lines, row.name);
    if (row.line == kNone) {
      EXPECT_FALSE(problem) << lineProblemText(1, *problem);
      continue;
    }
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->line, row.line);
    EXPECT_EQ(problem->kind, row.fault);
    if (row.fault == P::kControlByte) {
      EXPECT_EQ(problem->column, row.column);
    }
  }
}

TEST(ControllerLines, APasteIsCountedWhereItLands) {
  // Pasted on editor line 5999 (0-based 5998) with one line after it: three
  // lines from there make 6002.
  const std::optional<LineProblem> problem = checkProgramTextBound("A\nB\nC", 5998, 1);
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->kind, LineProblem::kTooManyLines);
  EXPECT_EQ(problem->length, 6002u);
  EXPECT_FALSE(checkProgramTextBound("A\nB", 5998, 0));
  // Line 1000 has one digit more in its frame than line 999.
  EXPECT_FALSE(checkProgramTextBound(std::string(248, 'X'), 998));
  EXPECT_TRUE(checkProgramTextBound(std::string(248, 'X'), 999));
  EXPECT_EQ(lineProblemText(1, *problem, Refused::kPaste), "The program has 6002 lines, at most 6000: nothing was pasted");
}

TEST(ParameterValues, SentAndReceivedValuesStayWithin32Bits) {
  struct Row {
    const char* text;
    std::optional<std::int32_t> sent;      // the value after "=" in a line
    std::optional<std::int32_t> received;  // the same text as the controller's answer
  };
  const Row rows[] = {
      {"300\r\n", 300, 300},
      {" -5 \r\n", -5, -5},
      {"+7\r\n", 7, 7},
      {"2147483647\r\n", 2147483647, 2147483647},
      {"-2147483648\r\n", INT32_MIN, INT32_MIN},
      {"2147483648\r\n", std::nullopt, std::nullopt},
      {"-2147483649\r\n", std::nullopt, std::nullopt},
      {"99999999999999999999999\r\n", std::nullopt, std::nullopt},
      {"00000000000000000012\r\n", 12, 12},
      {"x\r\n", 0, std::nullopt},       // a line without digits sends 0; no answer
      {"12mm\r\n", 12, std::nullopt},   // digits up to the first other character
      {"\r\n", 0, std::nullopt},
      {"-\r\n", 0, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(leadingParameterValue(row.text), row.sent);
    EXPECT_EQ(parameterValueAnswer(row.text), row.received);
  }
}

TEST(ProgramNames, OneRuleForEveryName) {
  struct Row {
    int language;
    std::string name;
    std::string ruled;
  };
  const Row rows[] = {
      {1, "part1", "PART1"},
      {1, "Part_1-b", "PART_1-B"},
      {1, "abcdefghij", "ABCDEFGH"},
      {1, "\xE9t\xE9", "\xE9T\xE9"},              // Latin-1 letters beyond a-z stay
      {0, "a\xB5\x7B", "A\xB5\x7B"},              // the second byte of a Big5 pair looks like "{"
      {0, "\xA4\x61x", "\xA4\x61X"},              // ... or like "a": it stays
      {0, "abcdefg\xA4\x61", "ABCDEFG"},          // a pair that would not fit whole is left out
      {1, "abcdefg\xA4\x61", "ABCDEFG\xA4"},      // Latin-1 has no pairs
      {0, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(programNameRule(row.name, row.language), row.ruled);
    EXPECT_EQ(programNameRule(row.ruled, row.language), row.ruled);  // applying it again changes nothing
  }
}

TEST(CodePages, CharactersWithoutAPlaceAreFoundNotTurnedIntoQuestionMarks) {
  struct Row {
    int language;
    std::string utf8;
    std::size_t lost;
  };
  const std::size_t npos = std::string::npos;
  const Row rows[] = {
      {1, "G01 X10", npos},
      {1, "caf\xC3\xA9", npos},                  // é is Latin-1
      {1, "G01 \xE4\xB8\xAD", 4},                // 中 is not
      {1, "\xE2\x82\xAC", 0},                    // nor €
      {0, "G01 (\xE5\x88\x87\xE5\x89\x8A)", npos},  // 切削 is Big5
      {0, "ok \xF0\x9F\x98\x80", 3},             // an emoji is not
      {0, bytesToUtf8("\xFF\x80", 0), npos},     // stray bytes read from a file go back as they came
      {1, "a\xFF", 1},                           // invalid UTF-8
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.utf8);
    EXPECT_EQ(findUnencodable(row.utf8, row.language), row.lost);
    std::size_t lost = 0;
    utf8ToBytes(row.utf8, row.language, &lost);
    EXPECT_EQ(lost, row.lost);
  }
  EXPECT_EQ(utf8CharLength("a\xE4\xB8\xAD", 1), 3u);
}

}  // namespace
}  // namespace qxr
