// The program's flow (JMP, LOOP, CALL and the returns): the simulator's run
// and the preview's walk take the same records in the same order; a target
// is the first record of its line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/convert.h"
#include "sim/headless.h"
#include "sim/preview.h"
#include "sim/programflow.h"

namespace qxr {
namespace {

// The records a START runs and those the preview walks, in order, each from
// a fresh table.
std::pair<std::vector<int>, std::vector<int>> runAndPreview(const std::vector<std::string>& lines) {
  std::vector<int> run, walk;
  NcConverter converter;
  EXPECT_TRUE(converter.ConvertProgram(lines).ok()) << lines[0];
  EXPECT_FALSE(buildPreviewPath(converter.table(), {}, &walk).cutOff) << lines[0];
  HeadlessOptions options;
  options.executed = &run;
  PathPlot plot;
  EXPECT_TRUE(runHeadless(converter.table(), options, plot).finished) << lines[0];
  return {run, walk};
}

std::vector<std::string> deepCalls(int levels) {
  std::vector<std::string> lines{"G91", "CALL N4", "M30"};
  for (int k = 0; k < levels; ++k) {
    lines.push_back("G01 X1");
    lines.push_back("CALL N" + std::to_string(6 + 2 * k));
  }
  lines.push_back("M99");
  return lines;
}

// Line numbers in flow words are 1-based: N4 is the fourth line. Execution
// goes on at the record before the target line's first record.
TEST(ProgramFlow, RunAndPreviewTakeTheSameRecords) {
  struct Case {
    const char* what;
    std::vector<std::string> program;
    std::size_t records;  // how many the run executes
  };
  const Case cases[] = {
      {"straight", {"G01 X1", "G01 Y1", "M30"}, 3},
      {"forward jump", {"G01 X1", "JMP N5", "G01 X2", "G01 X3", "G01 X4", "M30"}, 4},
      {"jump to line index 0 lands on record 0", {"G91 G01 X1", "JMP N0", "M30"}, 3 * 1000 + 1},
      {"endless jump ends after 999 jumps", {"G91", "G01 X1", "JMP N2", "M30"}, 1 + 2 * 1000 + 1},
      {"loop of three", {"G91", "G01 X10", "LOOP N2 L3", "M30"}, 1 + 3 * 2 + 1},
      {"loop count omitted", {"G91", "G01 X10", "LOOP N2", "M30"}, 4},
      {"nested loops", {"G91", "G01 X1", "LOOP N2 L3", "G01 Y1", "LOOP N2 L2", "M30"}, 0},
      {"call twice", {"G91", "CALL N4 L2", "M30", "G01 X5", "M99"}, 0},
      {"nested calls", {"G91", "CALL N4", "M30", "G01 X1", "CALL N7 L2", "M99", "G01 Y1", "M99"}, 0},
      {"calls eight deep end the run", deepCalls(10), 0},
      {"M99 at depth 0 ends", {"G01 X10", "M99", "G01 X50"}, 2},
      {"M02 at depth 0 ends", {"G01 X10", "M02", "G01 X50"}, 2},
      {"return to a call inside a loop", {"G91", "CALL N5 L2", "LOOP N2 L3", "M30", "G01 X1", "M99"}, 0},
      {"bad jump target", {"JMP N40", "G01 X2"}, 2},
      {"bad loop target", {"G01 X1", "LOOP N77 L5", "G01 X2"}, 3},
      {"bad call target", {"CALL N90 L3", "G01 X2", "M30"}, 3},
      // The pre-pass makes 600 calls first; the run's count of calls goes on
      // from there and passes 999 within the loop.
      {"call counter carried from the pre-pass", {"G91", "CALL N5", "LOOP N2 L600", "M30", "G01 X1", "M99"}, 0},
  };
  for (const Case& c : cases) {
    const auto [run, walk] = runAndPreview(c.program);
    EXPECT_EQ(walk, run) << c.what;
    if (c.records != 0) {
      EXPECT_EQ(run.size(), c.records) << c.what;
    }
  }
}

// A target is the first record of its line in table order, whether or not
// the records come in line order.
TEST(ProgramFlow, TargetIsTheFirstRecordOfItsLine) {
  const std::vector<std::vector<int>> tables = {{0, 1, 1, 2, 4}, {4, 1, 2, 1, 0}};
  for (const std::vector<int>& lines : tables) {
    CommandTable table;
    for (int n : lines) {
      CommandRecord record;
      record.N = n;
      table.AppendRecord(record);
    }
    const ProgramFlow flow(table);
    for (int line : {0, 1, 2, 3, 4}) {
      int first = -1;
      for (std::size_t r = 0; r < lines.size() && first < 0; ++r)
        if (lines[r] == line) first = static_cast<int>(r);
      EXPECT_EQ(flow.findTarget(line), first) << "line " << line;
    }
    EXPECT_EQ(flow.findTarget(1.5), -1);
  }
}

}  // namespace
}  // namespace qxr
