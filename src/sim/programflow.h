#pragma once
// The program's flow: which record runs after a jump (JMP), a loop (LOOP), a
// call (CALL) or a return or end (M02, END, M30, M99). The simulator's
// interpreter and the tool-path preview both ask this one piece of code, so
// the path the preview draws is the path a run takes.
//
// A flow word keeps its counters in its own record: JMP counts its jumps in
// Y; LOOP holds its count in Y and the runs left in Z; CALL its count in Y,
// the calls left in Z and its jumps in U. The flow changes them as it goes.
#include <array>
#include <cstdint>

#include "sim/convert.h"

namespace qxr {

struct FlowStep {
  enum Kind : std::uint8_t {
    kOn,      // go on at `next`: after the record, or where a jump lands
    kReturn,  // back at once to the CALL record `next`, which calls again or goes on after itself
    kEnd,     // the run ends here
  };
  Kind kind = kOn;
  int next = 0;
};

class ProgramFlow {
 public:
  static constexpr int kCallStackSize = 8;      // a call that would nest eight deep ends the run
  static constexpr int kMaxFlowRepeats = 1000;  // a JMP or CALL falls through after 999 jumps in a row

  explicit ProgramFlow(const CommandTable& table);

  // JMP, LOOP, CALL and the returns.
  static bool isFlowCode(std::uint8_t code);
  // The counters as a fresh start sets them: a LOOP has its whole count
  // again, a JMP no jumps; a CALL reloads its own when it is done.
  static void resetCounters(CommandRecord& record);

  // What runs after record `index`, whose counters `record` holds (the
  // table's own record or a copy of it). In the pre-pass a return at depth 0
  // and a call nested too deep go on with the next record where a run ends.
  FlowStep step(int index, CommandRecord& record, bool prePass);

  void clearCalls() { depth_ = 0; }
  int depth() const { return depth_; }
  // The CALL record at `level` (0 the outermost) of the calls in progress.
  int caller(int level) const { return stack_[static_cast<std::size_t>(level)]; }

  // The first record of the program line with 0-based index `lineIndex`, -1
  // when no record has it.
  int findTarget(double lineIndex) const;

 private:
  // Execution goes on at the record before the target's first record, and
  // never before the first record of the table.
  static int landing(int target) { return target > 0 ? target - 1 : 0; }

  const CommandTable& table_;
  // Whether the records come in line order, so that targets are found by
  // halving; known from the first search on.
  enum class Order : std::uint8_t { kUnknown, kLines, kOther };
  mutable Order order_ = Order::kUnknown;
  std::array<int, kCallStackSize> stack_{};
  int depth_ = 0;
};

}  // namespace qxr
